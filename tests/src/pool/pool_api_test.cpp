// The exported pool functions over the process's pool, and a randomized run
// against a simple model: live blocks never overlap, contents survive
// reallocation, counters agree, and every chunk goes back to the C heap once
// everything is freed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <vector>

#include "pool/core/pool.h"
#include "pool_heap_fixture.h"
#include "vrc_pool.h"

namespace vr::pool {
namespace {

struct ModuleStats {
    int live, total, peak;
};

ModuleStats moduleStats()
{
    ModuleStats stats{};
    PoolStats(&stats.live, &stats.total, &stats.peak, nullptr, nullptr);
    return stats;
}

// Runs the process's pool over the recording heap; the test frees all it takes.
class ModulePool : public test::RecordingHeapTest {
protected:
    void SetUp() override
    {
        RecordingHeapTest::SetUp();
        if (HasFatalFailure())
            return;
        previous = modulePool().replaceHeap(test::RecordingHeap::functions());
        start = moduleStats();
    }
    void TearDown() override
    {
        EXPECT_TRUE(heap().live.empty()) << heap().live.size() << " C-heap blocks left";
        modulePool().replaceHeap(previous);
        RecordingHeapTest::TearDown();
    }

    HeapFunctions previous{};
    ModuleStats start{};
};

TEST_F(ModulePool, CountersFollowEveryOperation)
{
    EXPECT_EQ(PoolFree(nullptr), nullptr);
    EXPECT_EQ(PoolLiveCount(), start.live);

    void* a = PoolAlloc(10, 10);
    void* b = PoolReAlloc(nullptr, 1, 3000);  // a new block, counted as one
    EXPECT_EQ(PoolLiveCount(), start.live + 2);
    void* c = PoolAllocZero(4, 4);
    a = PoolReAlloc(a, 1, 20);
    int live = -1, total = -1, peak = -1, fourth = 77, fifth = 77;
    PoolStats(&live, &total, &peak, &fourth, &fifth);
    EXPECT_EQ(live, start.live + 3);
    EXPECT_EQ(total, start.total + 4);
    EXPECT_EQ(peak, std::max(start.peak, start.live + 3));
    EXPECT_EQ(fourth, 0);
    EXPECT_EQ(fifth, 0);

    EXPECT_EQ(PoolFree(a), nullptr);
    EXPECT_EQ(PoolFree(b), nullptr);
    void* d = PoolAlloc(1, 1);
    EXPECT_EQ(moduleStats().peak, std::max(start.peak, start.live + 3));  // back at the peak, not above
    EXPECT_EQ(PoolFree(c), nullptr);
    EXPECT_EQ(PoolFree(d), nullptr);
    EXPECT_EQ(PoolLiveCount(), start.live);
    EXPECT_EQ(moduleStats().total, start.total + 5);
    EXPECT_EQ(moduleStats().peak, std::max(start.peak, start.live + 3));
}

TEST_F(ModulePool, SizesOfPoolAndHeapBlocks)
{
    void* hundred = PoolAlloc(1, 100);
    void* large = PoolAlloc(1000, 5);
    void* nothing = PoolAlloc(0, 8);
    EXPECT_EQ(PoolSize(hundred), 104);
    EXPECT_EQ(PoolSize(large), 5000);
    EXPECT_EQ(PoolSize(nothing), 32);
    EXPECT_EQ(PoolSize(nullptr), 0);
    for (void* block : {hundred, large, nothing})
        PoolFree(block);
}

TEST_F(ModulePool, OverflowingProductsAreRefused)
{
    // 0x10000 * 0x10000 is 0 in 32 bits and 0x40000 * 0x4000 is 2^32 + 0: a
    // block smaller than the caller is about to write.
    EXPECT_EQ(PoolAlloc(0x10000, 0x10000), nullptr);
    EXPECT_EQ(PoolAllocZero(0x40000, 0x4000), nullptr);
    EXPECT_EQ(PoolAlloc(-1, 100), nullptr);
    EXPECT_EQ(PoolReAlloc(nullptr, 3, -7), nullptr);
    void* block = PoolAlloc(2, 8);
    std::memset(block, 0x33, 16);
    EXPECT_EQ(PoolReAlloc(block, 0x20000, 0x10001), nullptr);
    EXPECT_EQ(static_cast<unsigned char*>(block)[15], 0x33);
    const ModuleStats now = moduleStats();
    EXPECT_EQ(now.total, start.total + 1);
    EXPECT_EQ(now.live, start.live + 1);
    EXPECT_EQ(heap().allocations + heap().zeroedAllocations, 1);  // the chunk only
    PoolFree(block);
}

// A block as the model sees it: where, how many bytes the caller may use,
// and the byte pattern written into them.
struct ModelBlock {
    unsigned char* data;
    std::int32_t bytes;
    unsigned char seed;
};

unsigned char patternByte(unsigned char seed, std::int32_t offset)
{
    return static_cast<unsigned char>(seed + offset * 31 + (offset >> 8));
}

void fill(const ModelBlock& block)
{
    for (std::int32_t i = 0; i < block.bytes; ++i)
        block.data[i] = patternByte(block.seed, i);
}

::testing::AssertionResult intact(const ModelBlock& block, std::int32_t bytes)
{
    for (std::int32_t i = 0; i < bytes; ++i)
        if (block.data[i] != patternByte(block.seed, i))
            return ::testing::AssertionFailure() << "byte " << i << " of " << block.bytes << " changed";
    return ::testing::AssertionSuccess();
}

class PoolModel {
public:
    ::testing::AssertionResult add(const ModelBlock& block)
    {
        if (block.data == nullptr)
            return ::testing::AssertionFailure() << "null block";
        if (reinterpret_cast<std::uintptr_t>(block.data) % 8 != 0)
            return ::testing::AssertionFailure() << "block not 8-byte aligned";
        const std::int32_t capacity = std::max(PoolSize(block.data) - 4, block.bytes);
        if (PoolSize(block.data) < block.bytes)
            return ::testing::AssertionFailure() << "PoolSize " << PoolSize(block.data) << " for " << block.bytes;
        const auto begin = reinterpret_cast<std::uintptr_t>(block.data);
        auto after = ranges.lower_bound(begin);
        if (after != ranges.end() && after->first < begin + capacity)
            return ::testing::AssertionFailure() << "overlaps the block behind it";
        if (after != ranges.begin() && std::prev(after)->second > begin)
            return ::testing::AssertionFailure() << "overlaps the block in front of it";
        ranges.emplace(begin, begin + capacity);
        blocks.push_back(block);
        return ::testing::AssertionSuccess();
    }
    ModelBlock remove(std::size_t index)
    {
        const ModelBlock block = blocks[index];
        ranges.erase(reinterpret_cast<std::uintptr_t>(block.data));
        blocks[index] = blocks.back();
        blocks.pop_back();
        return block;
    }
    std::vector<ModelBlock> blocks;

private:
    std::map<std::uintptr_t, std::uintptr_t> ranges;  // begin -> end of usable bytes
};

std::int32_t randomRequest(std::mt19937& random)
{
    const unsigned kind = random() % 100;
    if (kind < 60)
        return static_cast<std::int32_t>(random() % 200);
    if (kind < 95)
        return static_cast<std::int32_t>(random() % kLargeRequestBytes);
    return static_cast<std::int32_t>(kLargeRequestBytes + random() % 6000);
}

TEST_F(ModulePool, RandomOperationsAgreeWithTheModel)
{
    constexpr int kOperations = 120'000;
    std::mt19937 random(20261207);
    PoolModel model;
    int expectedTotal = start.total;
    int expectedPeak = start.peak;
    int largeLive = 0;
    long failures = 0;

    for (int step = 0; step < kOperations; ++step) {
        // The live population swings between a few and a few thousand blocks,
        // so that chunks fill up and drain again.
        const int target = (step / 10'000) % 2 == 0 ? 3000 : 50;
        const bool grow = static_cast<int>(model.blocks.size()) < target ? random() % 4 != 0 : random() % 4 == 0;
        const bool injectFailure = random() % 64 == 0;
        if (injectFailure)
            heap().failAfter(0);
        const unsigned char seed = static_cast<unsigned char>(random());

        if (grow || model.blocks.empty()) {
            const std::int32_t bytes = randomRequest(random);
            const bool zeroed = random() % 4 == 0;
            auto* data = static_cast<unsigned char*>(zeroed ? PoolAllocZero(1, bytes) : PoolAlloc(1, bytes));
            if (data == nullptr) {
                ASSERT_TRUE(injectFailure) << "step " << step;
                ++failures;
            } else {
                for (std::int32_t i = 0; zeroed && i < bytes; ++i)
                    ASSERT_EQ(data[i], 0) << "step " << step;
                const ModelBlock block{data, bytes, seed};
                fill(block);
                ASSERT_TRUE(model.add(block)) << "step " << step;
                ++expectedTotal;
                largeLive += bytes >= kLargeRequestBytes;
            }
        } else if (random() % 3 == 0) {
            const std::size_t index = random() % model.blocks.size();
            const ModelBlock old = model.blocks[index];
            const std::int32_t bytes = randomRequest(random);
            auto* data = static_cast<unsigned char*>(PoolReAlloc(old.data, 1, bytes));
            if (data == nullptr) {
                ASSERT_TRUE(injectFailure) << "step " << step;
                ASSERT_TRUE(intact(old, old.bytes)) << "step " << step;
                ++failures;
            } else {
                ASSERT_NE(data, old.data) << "step " << step;
                model.remove(index);
                const ModelBlock moved{data, bytes, old.seed};
                ASSERT_TRUE(intact(moved, std::min(bytes, old.bytes))) << "step " << step;
                ModelBlock refilled{data, bytes, seed};
                fill(refilled);
                ASSERT_TRUE(model.add(refilled)) << "step " << step;
                ++expectedTotal;
                largeLive += (bytes >= kLargeRequestBytes) - (old.bytes >= kLargeRequestBytes);
            }
        } else {
            const ModelBlock block = model.remove(random() % model.blocks.size());
            ASSERT_TRUE(intact(block, block.bytes)) << "step " << step;
            EXPECT_EQ(PoolFree(block.data), nullptr);
            largeLive -= block.bytes >= kLargeRequestBytes;
        }
        heap().failAfter(-1);

        expectedPeak = std::max(expectedPeak, start.live + static_cast<int>(model.blocks.size()));
        if (step % 1000 == 0 || step == kOperations - 1) {
            const ModuleStats now = moduleStats();
            ASSERT_EQ(now.live, start.live + static_cast<int>(model.blocks.size())) << "step " << step;
            ASSERT_EQ(now.total, expectedTotal) << "step " << step;
            ASSERT_EQ(now.peak, expectedPeak) << "step " << step;
            ASSERT_EQ(heap().largeBlocks(), static_cast<std::size_t>(largeLive)) << "step " << step;
            ASSERT_EQ(test::checkPool(modulePool(), heap().chunks()), "") << "step " << step;
        }
    }
    EXPECT_GT(failures, 20);  // failures only bite on chunk and large-block calls

    for (const ModelBlock& block : model.blocks) {
        ASSERT_TRUE(intact(block, block.bytes));
        PoolFree(block.data);
    }
    EXPECT_EQ(PoolLiveCount(), start.live);
    EXPECT_TRUE(heap().live.empty());
    EXPECT_EQ(heap().allocations + heap().zeroedAllocations - failures, heap().releases);
}

}  // namespace
}  // namespace vr::pool
