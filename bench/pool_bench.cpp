// The pool against the platform's C heap (msvcrt under Windows, glibc on the
// host), in the same run and through the same kind of call:
//   lifo            batches of 16 (and of 64) blocks freed in reverse order
//   random          about 10,000 live blocks, one freed and one taken at random
//   realloc growth  a block grown step by step from 16 to 1,923 bytes
// Requests are spread over 1 to 1,923 bytes. Each pattern prints
//   <name>: <ours>/s vs <baseline>/s, ratio <x.xx>
// in alloc+free pairs per second (a reallocation counts as one pair), then the
// time per operation of the random pattern at 1,000, 10,000 and 100,000 live
// blocks, which should stay flat.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "vrc_pool.h"

namespace {

struct Allocator {
    const char* name;
    void* (*allocate)(std::size_t bytes);
    void (*release)(void* block);
    void* (*reallocate)(void* block, std::size_t bytes);
};

const Allocator kPool{
    "pool",
    [](std::size_t bytes) { return PoolAlloc(1, static_cast<int>(bytes)); },
    [](void* block) { PoolFree(block); },
    [](void* block, std::size_t bytes) { return PoolReAlloc(block, 1, static_cast<int>(bytes)); },
};

const Allocator kCHeap{
    "C heap",
    [](std::size_t bytes) { return std::malloc(bytes); },
    [](void* block) { std::free(block); },
    [](void* block, std::size_t bytes) { return std::realloc(block, bytes); },
};

constexpr std::size_t kLargestRequest = 1923;

// Writes into each block so that neither the blocks nor the calls can be
// optimised away.
volatile unsigned char g_sink;

void touch(void* block, std::size_t bytes)
{
    auto* data = static_cast<unsigned char*>(block);
    data[0] = static_cast<unsigned char>(bytes);
    data[bytes - 1] = 1;
}

std::vector<std::size_t> requestSizes(std::size_t count, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<std::size_t> size(1, kLargestRequest);
    std::vector<std::size_t> sizes(count);
    for (auto& value : sizes)
        value = size(random);
    return sizes;
}

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Pairs per second. 64 blocks average some 60 KB, two or three chunks that
// the pool takes and gives back in every batch.
double lifo(const Allocator& allocator, std::size_t depth, long pairs)
{
    const auto sizes = requestSizes(4096, 1);
    std::vector<void*> stack(depth);
    std::size_t next = 0;
    const auto start = Clock::now();
    for (long done = 0; done < pairs; done += static_cast<long>(depth)) {
        for (std::size_t i = 0; i < depth; ++i) {
            const std::size_t bytes = sizes[next++ % sizes.size()];
            stack[i] = allocator.allocate(bytes);
            touch(stack[i], bytes);
        }
        for (std::size_t i = depth; i-- > 0;)
            allocator.release(stack[i]);
    }
    return static_cast<double>(pairs) / secondsSince(start);
}

// Operations (one release and one allocation) per second with `liveBlocks` live.
double randomReplace(const Allocator& allocator, std::size_t liveBlocks, long operations)
{
    const auto sizes = requestSizes(1 << 16, 2);
    std::mt19937 random(3);
    std::vector<void*> live(liveBlocks);
    std::size_t next = 0;
    for (auto& block : live) {
        const std::size_t bytes = sizes[next++ % sizes.size()];
        block = allocator.allocate(bytes);
        touch(block, bytes);
    }
    std::vector<std::uint32_t> picks(1 << 16);
    for (auto& pick : picks)
        pick = static_cast<std::uint32_t>(random() % liveBlocks);

    const auto start = Clock::now();
    for (long done = 0; done < operations; ++done) {
        void*& slot = live[picks[static_cast<std::size_t>(done) % picks.size()]];
        allocator.release(slot);
        const std::size_t bytes = sizes[next++ % sizes.size()];
        slot = allocator.allocate(bytes);
        touch(slot, bytes);
    }
    const double rate = static_cast<double>(operations) / secondsSince(start);
    for (void* block : live)
        allocator.release(block);
    return rate;
}

// Calls per second: each grow step is one reallocation, taking and freeing
// the block one pair.
double reallocGrowth(const Allocator& allocator, long calls)
{
    std::vector<std::size_t> steps;
    for (std::size_t bytes = 16; bytes < kLargestRequest; bytes = bytes * 5 / 4 + 3)
        steps.push_back(bytes);
    steps.push_back(kLargestRequest);
    // A few blocks kept alive between rounds, so that the heap is not empty.
    std::vector<void*> ballast;
    const auto sizes = requestSizes(256, 4);
    for (std::size_t bytes : sizes)
        ballast.push_back(allocator.allocate(bytes));

    long done = 0;
    const auto start = Clock::now();
    while (done < calls) {
        void* block = allocator.allocate(steps[0]);
        touch(block, steps[0]);
        for (std::size_t i = 1; i < steps.size(); ++i) {
            block = allocator.reallocate(block, steps[i]);
            touch(block, steps[i]);
        }
        allocator.release(block);
        done += static_cast<long>(steps.size());
    }
    const double rate = static_cast<double>(done) / secondsSince(start);
    for (void* block : ballast)
        allocator.release(block);
    return rate;
}

template <typename Run>
double best(int rounds, Run run)
{
    double result = 0;
    for (int i = 0; i < rounds; ++i)
        result = std::max(result, run());
    return result;
}

void report(const char* name, double ours, double baseline)
{
    std::printf("%s: %.0f/s vs %.0f/s, ratio %.2f\n", name, ours, baseline, ours / baseline);
    std::fflush(stdout);
}

}  // namespace

int main()
{
    constexpr int kRounds = 3;
    constexpr long kPairs = 2'000'000;
    for (const Allocator* allocator : {&kPool, &kCHeap})
        lifo(*allocator, 16, kPairs / 10);  // warm both

    // Each pattern measures the pool first, then the C heap; the pool's
    // chunks come from the same C heap.
    double ours = best(kRounds, [] { return lifo(kPool, 16, kPairs); });
    report("pool lifo", ours, best(kRounds, [] { return lifo(kCHeap, 16, kPairs); }));
    ours = best(kRounds, [] { return lifo(kPool, 64, kPairs); });
    report("pool lifo 64 deep", ours, best(kRounds, [] { return lifo(kCHeap, 64, kPairs); }));
    ours = best(kRounds, [] { return randomReplace(kPool, 10'000, kPairs); });
    report("pool random 10000 live", ours, best(kRounds, [] { return randomReplace(kCHeap, 10'000, kPairs); }));
    ours = best(kRounds, [] { return reallocGrowth(kPool, kPairs); });
    report("pool realloc growth", ours, best(kRounds, [] { return reallocGrowth(kCHeap, kPairs); }));

    for (std::size_t live : {std::size_t{1'000}, std::size_t{10'000}, std::size_t{100'000}}) {
        const double ours = best(kRounds, [&] { return randomReplace(kPool, live, kPairs); });
        const double baseline = best(kRounds, [&] { return randomReplace(kCHeap, live, kPairs); });
        std::printf("pool random at %zu live: %.1f ns/op vs C heap %.1f ns/op\n", live, 1e9 / ours, 1e9 / baseline);
        std::fflush(stdout);
    }
    int liveBlocks = 0, total = 0, peak = 0;
    PoolStats(&liveBlocks, &total, &peak, nullptr, nullptr);
    g_sink = static_cast<unsigned char>(liveBlocks);
    return liveBlocks == 0 ? 0 : 1;
}
