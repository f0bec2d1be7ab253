// Drives a fresh pool with an operation sequence read from the input, and
// checks after every step: headers and lists consistent, live blocks intact
// and apart, counters right; at the end every chunk is back in the C heap.
//
// Input: a stream of operations, each an opcode byte and two size bytes.
//   opcode % 8   0-2 allocate, 3 allocate zeroed, 4-5 free, 6 reallocate,
//                7 make the next C-heap call fail
//   opcode / 8   which live block (modulo their count) to free or reallocate
//   size bytes   little-endian; above 0xF000 a large request
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "pool/core/pool.h"
#include "pool_recording_heap.h"

namespace {

using namespace vr::pool;
using namespace vr::test;

struct Live {
    unsigned char* data;
    std::int32_t bytes;
    unsigned char seed;
};

[[noreturn]] void fail(const char* what, const std::string& detail = {})
{
    std::fprintf(stderr, "pool fuzz: %s %s\n", what, detail.c_str());
    std::abort();
}

unsigned char patternByte(unsigned char seed, std::int32_t offset)
{
    return static_cast<unsigned char>(seed ^ (offset * 7));
}

void fill(const Live& block)
{
    for (std::int32_t i = 0; i < block.bytes; ++i)
        block.data[i] = patternByte(block.seed, i);
}

void expectIntact(const Live& block, std::int32_t bytes)
{
    for (std::int32_t i = 0; i < bytes; ++i)
        if (block.data[i] != patternByte(block.seed, i))
            fail("block contents changed");
}

void expectApart(const std::vector<Live>& live, const Live& added)
{
    const auto begin = reinterpret_cast<std::uintptr_t>(added.data);
    const auto end = begin + static_cast<std::uintptr_t>(added.bytes);
    for (const Live& other : live) {
        const auto otherBegin = reinterpret_cast<std::uintptr_t>(other.data);
        if (begin < otherBegin + static_cast<std::uintptr_t>(other.bytes) && otherBegin < end)
            fail("live blocks overlap");
    }
}

std::int32_t requestFrom(std::uint16_t raw)
{
    if (raw > 0xF000)
        return kLargeRequestBytes + (raw - 0xF000);
    return raw % kLargeRequestBytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    RecordingHeap& heap = RecordingHeap::instance();
    heap.resetCounts();
    if (!heap.live.empty())
        fail("C-heap blocks left from an earlier input");

    Pool pool(RecordingHeap::functions());
    std::vector<Live> live;
    std::int32_t total = 0;
    std::int32_t peak = 0;

    for (std::size_t at = 0; at + 3 <= size; at += 3) {
        const std::uint8_t opcode = data[at];
        const std::int32_t bytes = requestFrom(static_cast<std::uint16_t>(data[at + 1] | data[at + 2] << 8));
        const unsigned char seed = data[at + 1];
        const std::size_t pick = live.empty() ? 0 : (opcode / 8u) % live.size();
        bool failureArmed = false;

        switch (opcode % 8) {
        case 7:
            heap.failAfter(0);
            failureArmed = true;
            [[fallthrough]];
        case 0:
        case 1:
        case 2:
        case 3: {
            const bool zeroed = opcode % 8 == 3;
            auto* block = static_cast<unsigned char*>(pool.allocate(1, bytes, zeroed));
            if (block == nullptr) {
                if (!failureArmed)
                    fail("allocation failed with the heap willing");
                break;
            }
            if (zeroed)
                for (std::int32_t i = 0; i < bytes; ++i)
                    if (block[i] != 0)
                        fail("zeroed block not cleared");
            if (Pool::blockSize(block) < bytes)
                fail("block smaller than requested");
            const Live added{block, bytes, seed};
            expectApart(live, added);
            fill(added);
            live.push_back(added);
            ++total;
            break;
        }
        case 4:
        case 5:
            if (live.empty())
                break;
            expectIntact(live[pick], live[pick].bytes);
            pool.release(live[pick].data);
            live[pick] = live.back();
            live.pop_back();
            break;
        case 6: {
            if (live.empty())
                break;
            const Live old = live[pick];
            auto* moved = static_cast<unsigned char*>(pool.reallocate(old.data, bytes, 1));
            if (moved == nullptr)
                fail("reallocation failed with the heap willing");
            live[pick] = live.back();
            live.pop_back();
            expectIntact({moved, bytes, old.seed}, bytes < old.bytes ? bytes : old.bytes);
            const Live added{moved, bytes, seed};
            expectApart(live, added);
            fill(added);
            live.push_back(added);
            ++total;
            break;
        }
        }
        heap.failAfter(-1);
        if (static_cast<std::int32_t>(live.size()) > peak)
            peak = static_cast<std::int32_t>(live.size());

        const Stats stats = pool.stats();
        if (stats.liveBlocks != static_cast<std::int32_t>(live.size()) || stats.totalAllocations != total ||
            stats.peakLiveBlocks != peak)
            fail("counters disagree with the model");
        if (std::string fault = checkPool(pool, heap.chunks()); !fault.empty())
            fail("inconsistent pool:", fault);
    }

    for (const Live& block : live) {
        expectIntact(block, block.bytes);
        pool.release(block.data);
    }
    if (!heap.live.empty())
        fail("C-heap blocks kept after every block was freed");
    if (pool.stats().liveBlocks != 0)
        fail("live count not back to zero");
    return 0;
}
