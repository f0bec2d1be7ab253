// The pool's block layout, size classes, splits, merges and the class hint,
// checked on the headers themselves in fresh pools over a recording heap.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "pool/core/pool.h"
#include "pool_heap_fixture.h"

namespace vr::pool {
namespace {

using test::checkPool;
using test::RecordingHeap;

std::uint16_t prevSizeAt(const std::byte* header)
{
    std::uint16_t value;
    std::memcpy(&value, header, 2);
    return value;
}
std::uint16_t sizeFieldAt(const std::byte* header)
{
    std::uint16_t value;
    std::memcpy(&value, header + 2, 2);
    return value;
}
std::uint32_t word32At(const std::byte* at)
{
    std::uint32_t value;
    std::memcpy(&value, at, 4);
    return value;
}
const std::byte* linkAt(const std::byte* at)
{
    const std::byte* value;
    std::memcpy(&value, at, sizeof value);
    return value;
}
const std::byte* headerOf(const void* block) { return static_cast<const std::byte*>(block) - 4; }

// Requests that take exactly `granules` granules.
std::int32_t bytesFor(int granules) { return granules * 8 - 4; }

std::vector<const std::byte*> members(const Pool& pool, int sizeClass)
{
    std::vector<const std::byte*> found;
    const std::byte* head = pool.listHead(sizeClass);
    for (const std::byte* at = linkAt(head + kNextLinkOffset); at != head; at = linkAt(at + kNextLinkOffset))
        found.push_back(at);
    return found;
}

class PoolLayout : public test::RecordingHeapTest {
protected:
    void TearDown() override
    {
        EXPECT_EQ(checkPool(pool, chunks()), "");
        RecordingHeapTest::TearDown();
    }
    std::vector<const std::byte*> chunks() const { return heap().chunks(); }
    const std::byte* onlyChunk() const
    {
        auto found = chunks();
        return found.size() == 1 ? found[0] : nullptr;
    }
    void* take(std::int32_t bytes) { return pool.allocate(1, bytes, false); }
    void expectConsistent() const { EXPECT_EQ(checkPool(pool, chunks()), ""); }

    Pool pool{RecordingHeap::functions()};
};

TEST(PoolClasses, RequestsAndFreeBlocksMapToTheirClasses)
{
    EXPECT_EQ(classOfRequest(0), 2);
    EXPECT_EQ(classOfRequest(28), 2);
    EXPECT_EQ(classOfRequest(29), 3);
    EXPECT_EQ(classOfRequest(36), 3);
    EXPECT_EQ(classOfRequest(37), 4);
    EXPECT_EQ(classOfRequest(1923), 239);
    for (std::int32_t bytes = 0; bytes < kLargeRequestBytes; ++bytes) {
        const int granules = classOfRequest(bytes) + 2;
        ASSERT_GE(granules * 8 - 4, bytes) << bytes;
        if (bytes >= kMinServedBytes) {
            ASSERT_LE(granules * 8 - 4 - bytes, 7) << bytes;
        }
    }
    EXPECT_EQ(classOfFreeBlock(4), 2);
    EXPECT_EQ(classOfFreeBlock(240), 238);
    EXPECT_EQ(classOfFreeBlock(241), 239);
    EXPECT_EQ(classOfFreeBlock(kChunkFreeGranules), 239);
}

TEST(PoolClasses, RequestProductMustFitThirtyOneBits)
{
    EXPECT_EQ(requestBytes(10, 20), 200);
    EXPECT_EQ(requestBytes(0, -5), 0);
    EXPECT_EQ(requestBytes(INT32_MAX, 1), INT32_MAX);
    EXPECT_EQ(requestBytes(46341, 46341), std::nullopt);  // 2,147,488,281
    EXPECT_EQ(requestBytes(65536, 65536), std::nullopt);  // wraps to 0 in 32 bits
    EXPECT_EQ(requestBytes(-1, 16), std::nullopt);
    EXPECT_EQ(requestBytes(INT32_MIN, -1), std::nullopt);
}

TEST_F(PoolLayout, FirstRequestCarvesAFreshChunk)
{
    void* block = take(100);
    ASSERT_NE(block, nullptr);
    const std::byte* chunk = onlyChunk();
    ASSERT_NE(chunk, nullptr);
    EXPECT_EQ(heap().live.at(chunk), kChunkBytes);
    EXPECT_EQ(block, chunk + 16);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % 8, 0u);

    EXPECT_EQ(word32At(chunk + 4), 0x80010000u);
    EXPECT_EQ(prevSizeAt(chunk + 12), 1);
    EXPECT_EQ(sizeFieldAt(chunk + 12), 0x8000 | 13);
    EXPECT_EQ(Pool::blockSize(block), 104);

    const std::byte* rest = chunk + 12 + 13 * 8;
    EXPECT_EQ(prevSizeAt(rest), 13);
    EXPECT_EQ(sizeFieldAt(rest), kChunkFreeGranules - 13);
    EXPECT_EQ(members(pool, 239), std::vector{rest});
    EXPECT_EQ(word32At(chunk + 30708), 0x80010000u | (kChunkFreeGranules - 13));
    expectConsistent();

    pool.release(block);
    EXPECT_TRUE(heap().live.empty());
    EXPECT_EQ(heap().allocations, 1);
    EXPECT_EQ(heap().releases, 1);
    EXPECT_TRUE(members(pool, 239).empty());
}

TEST_F(PoolLayout, SmallestAndLargestPoolRequests)
{
    std::vector<void*> blocks;
    for (std::int32_t bytes : {0, 1, 28}) {
        blocks.push_back(take(bytes));
        EXPECT_EQ(Pool::blockSize(blocks.back()), 32) << bytes;
    }
    blocks.push_back(take(29));
    EXPECT_EQ(Pool::blockSize(blocks.back()), 40);
    blocks.push_back(take(1923));
    EXPECT_EQ(Pool::blockSize(blocks.back()), 241 * 8);
    EXPECT_EQ(heap().allocations, 1);  // everything from the one chunk
    expectConsistent();
    for (void* block : blocks)
        pool.release(block);
    EXPECT_TRUE(heap().live.empty());
}

TEST_F(PoolLayout, LargeRequestsGoToTheHeapWithATag)
{
    void* block = take(1924);
    ASSERT_NE(block, nullptr);
    const std::byte* raw = static_cast<const std::byte*>(block) - 8;
    EXPECT_EQ(heap().live.at(raw), 1924u + 8);
    EXPECT_EQ(word32At(raw), 1924u);
    EXPECT_EQ(word32At(raw + 4), 0xFFFFFFFFu);
    EXPECT_EQ(Pool::blockSize(block), 1924);
    EXPECT_FALSE(pool.listsReady());  // no chunk work for a heap block

    void* bigger = take(5000);
    EXPECT_EQ(Pool::blockSize(bigger), 5000);
    EXPECT_EQ(Pool::blockSize(nullptr), 0);
    pool.release(block);
    pool.release(bigger);
    EXPECT_TRUE(heap().live.empty());
    EXPECT_EQ(heap().releases, 2);
}

TEST_F(PoolLayout, ZeroedRequestsClearTheRequestedBytes)
{
    void* dirty = take(60);
    std::memset(dirty, 0xAB, 60);
    void* fence = take(8);  // keeps the chunk when the dirty block goes
    void* wider = take(200);
    void* fence2 = take(8);
    pool.release(dirty);
    pool.release(wider);  // lifts the class hint above the dirty block's class
    auto* clean = static_cast<unsigned char*>(pool.allocate(3, 20, true));
    ASSERT_EQ(static_cast<void*>(clean), dirty);  // the same block, reused
    for (int i = 0; i < 60; ++i)
        ASSERT_EQ(clean[i], 0) << i;

    void* large = pool.allocate(1000, 4, true);
    EXPECT_EQ(heap().zeroedAllocations, 1);
    std::vector<unsigned char> zeros(4000, 0);
    EXPECT_EQ(std::memcmp(large, zeros.data(), zeros.size()), 0);
    for (void* block : {static_cast<void*>(clean), fence, fence2, large})
        pool.release(block);
    EXPECT_TRUE(heap().live.empty());
}

TEST_F(PoolLayout, ReleaseMergesWithBothNeighboursAndReturnsTheChunk)
{
    void* a = take(bytesFor(6));
    void* b = take(bytesFor(8));
    void* c = take(bytesFor(10));
    const std::byte* chunk = onlyChunk();
    const std::byte* ha = headerOf(a);
    const std::byte* hb = headerOf(b);
    const std::byte* hc = headerOf(c);
    ASSERT_EQ(hb, ha + 48);
    ASSERT_EQ(hc, hb + 64);

    pool.release(a);  // between the left sentinel and b: stays alone
    EXPECT_EQ(sizeFieldAt(ha), 6);
    EXPECT_EQ(members(pool, 4), std::vector{ha});
    expectConsistent();

    pool.release(c);  // joins the free rest of the chunk
    EXPECT_EQ(sizeFieldAt(hc), kChunkFreeGranules - 14);
    EXPECT_EQ(word32At(chunk + 30708) & 0xFFFF, static_cast<std::uint32_t>(kChunkFreeGranules - 14));
    EXPECT_EQ(members(pool, 239), std::vector{hc});
    expectConsistent();

    pool.release(b);  // both sides free: the whole area again
    EXPECT_TRUE(heap().live.empty());
    EXPECT_TRUE(members(pool, 4).empty());
    EXPECT_TRUE(members(pool, 239).empty());
}

TEST_F(PoolLayout, ReleaseMergesWithTheBlockInFront)
{
    void* a = take(bytesFor(6));
    void* b = take(bytesFor(8));
    void* fence = take(bytesFor(5));
    pool.release(a);
    pool.release(b);  // merges into a's block
    const std::byte* ha = headerOf(a);
    EXPECT_EQ(sizeFieldAt(ha), 14);
    EXPECT_EQ(prevSizeAt(headerOf(fence)), 14);
    EXPECT_EQ(members(pool, 12), std::vector{ha});
    EXPECT_TRUE(members(pool, 4).empty());
    expectConsistent();
    pool.release(fence);
    EXPECT_TRUE(heap().live.empty());
}

TEST_F(PoolLayout, FreeBlocksOfTwoHundredFortyAndFortyOneGranules)
{
    void* exact = take(bytesFor(240));
    void* fence1 = take(8);
    void* large = take(1923);  // 241 granules
    void* fence2 = take(8);
    pool.release(exact);
    pool.release(large);
    EXPECT_EQ(members(pool, 238), std::vector{headerOf(exact)});
    const auto largeClass = members(pool, 239);
    ASSERT_EQ(largeClass.size(), 2u);
    EXPECT_EQ(largeClass[0], headerOf(large));  // added at the front
    expectConsistent();
    pool.release(fence1);
    pool.release(fence2);
    EXPECT_TRUE(heap().live.empty());
}

// A 10-granule free block in class 8, with the hint raised above it by a
// larger free block in class 18.
class PoolSplit : public PoolLayout {
protected:
    void SetUp() override
    {
        PoolLayout::SetUp();
        ten = take(bytesFor(10));
        fences.push_back(take(8));
        twenty = take(bytesFor(20));
        fences.push_back(take(8));
        pool.release(ten);
        pool.release(twenty);
        ASSERT_EQ(members(pool, 8), std::vector{headerOf(ten)});
        ASSERT_EQ(pool.classHint(), 18);
    }
    void TearDown() override
    {
        for (void* block : fences)
            pool.release(block);
        PoolLayout::TearDown();
        EXPECT_TRUE(heap().live.empty());
    }
    void* ten = nullptr;
    void* twenty = nullptr;
    std::vector<void*> fences;
};

TEST_F(PoolSplit, RemainderOfFourGranulesIsSplitOff)
{
    void* six = take(bytesFor(6));
    ASSERT_EQ(six, ten);
    const std::byte* header = headerOf(six);
    EXPECT_EQ(sizeFieldAt(header), 0x8000 | 6);
    const std::byte* rest = header + 48;
    EXPECT_EQ(prevSizeAt(rest), 6);
    EXPECT_EQ(sizeFieldAt(rest), 4);
    EXPECT_EQ(prevSizeAt(headerOf(fences[0])), 4);
    EXPECT_EQ(members(pool, 2), std::vector{rest});
    EXPECT_TRUE(members(pool, 8).empty());
    expectConsistent();
    fences.push_back(six);
}

TEST_F(PoolSplit, RemainderOfThreeGranulesStaysWithTheBlock)
{
    void* seven = take(bytesFor(7));
    ASSERT_EQ(seven, ten);
    EXPECT_EQ(sizeFieldAt(headerOf(seven)), 0x8000 | 10);
    EXPECT_EQ(Pool::blockSize(seven), 80);
    EXPECT_TRUE(members(pool, 8).empty());
    expectConsistent();
    fences.push_back(seven);
}

TEST_F(PoolSplit, ScanStopsBelowTheHint)
{
    // A need of 19 granules (class 17) looks only at class 17: the 20-granule
    // block of class 18 sits at the hint, so class 239 serves it and the hint
    // drops to 17.
    void* nineteen = take(bytesFor(19));
    EXPECT_NE(nineteen, twenty);
    EXPECT_EQ(pool.classHint(), 17);
    EXPECT_EQ(members(pool, 18), std::vector{headerOf(twenty)});
    fences.push_back(nineteen);

    // A block entering class 22 lifts the hint, and the 20-granule block is
    // found again.
    void* wide = take(bytesFor(24));
    fences.push_back(take(bytesFor(19)));  // at the hint: carved behind `wide`
    EXPECT_EQ(pool.classHint(), 17);
    pool.release(wide);
    EXPECT_EQ(pool.classHint(), 22);
    void* again = take(bytesFor(19));
    EXPECT_EQ(again, twenty);
    EXPECT_EQ(Pool::blockSize(again), 160);  // one spare granule stays with it
    expectConsistent();
    fences.push_back(again);
}

TEST_F(PoolLayout, ReallocationAlwaysMovesAndCopiesUpToTheBlockSize)
{
    auto* original = static_cast<unsigned char*>(take(100));
    void* fence = take(8);
    for (int i = 0; i < 100; ++i)
        original[i] = static_cast<unsigned char>(i + 1);

    auto* shrunk = static_cast<unsigned char*>(pool.reallocate(original, 1, 10));
    ASSERT_NE(shrunk, nullptr);
    EXPECT_NE(shrunk, original);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(shrunk[i], i + 1);
    EXPECT_EQ(Pool::blockSize(shrunk), 32);

    auto* block = static_cast<unsigned char*>(take(100));
    void* fenceBehind = take(8);
    ASSERT_EQ(headerOf(fenceBehind), headerOf(block) + 104);
    for (int i = 0; i < 100; ++i)
        block[i] = static_cast<unsigned char>(200 - i);
    unsigned char behind[4];  // the header of the next block: copied too
    std::memcpy(behind, block + 100, 4);
    auto* grown = static_cast<unsigned char*>(pool.reallocate(block, 5, 100));
    ASSERT_NE(grown, block);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(grown[i], 200 - i) << i;
    EXPECT_EQ(std::memcmp(grown + 100, behind, 4), 0);

    auto* large = static_cast<unsigned char*>(pool.reallocate(grown, 1, 3000));
    ASSERT_NE(large, nullptr);
    EXPECT_EQ(Pool::blockSize(large), 3000);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(large[i], 200 - i) << i;
    large[2999] = 7;
    auto* back = static_cast<unsigned char*>(pool.reallocate(large, 1, 50));
    ASSERT_NE(back, nullptr);
    for (int i = 0; i < 50; ++i)
        ASSERT_EQ(back[i], 200 - i) << i;

    const Stats stats = pool.stats();
    EXPECT_EQ(stats.liveBlocks, 4);
    EXPECT_EQ(stats.totalAllocations, 8);
    for (void* p : {static_cast<void*>(shrunk), static_cast<void*>(back), fence, fenceBehind})
        pool.release(p);
    pool.release(nullptr);
    EXPECT_EQ(pool.stats().liveBlocks, 0);
    EXPECT_EQ(heap().largeBlocks(), 0u);
    EXPECT_TRUE(heap().live.empty());
}

TEST_F(PoolLayout, HeapFailuresCountNothingAndKeepTheOldBlock)
{
    heap().failAfter(0);
    EXPECT_EQ(take(100), nullptr);  // no chunk to be had
    heap().failAfter(0);
    EXPECT_EQ(take(4000), nullptr);
    heap().failAfter(0);
    EXPECT_EQ(pool.allocate(1, 4000, true), nullptr);
    EXPECT_EQ(pool.stats().totalAllocations, 0);
    EXPECT_EQ(pool.stats().liveBlocks, 0);

    auto* block = static_cast<unsigned char*>(take(100));
    ASSERT_NE(block, nullptr);
    std::memset(block, 0x5A, 100);
    heap().failAfter(0);
    EXPECT_EQ(pool.reallocate(block, 1, 2500), nullptr);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(block[i], 0x5A);
    EXPECT_EQ(pool.stats().totalAllocations, 1);
    EXPECT_EQ(pool.stats().liveBlocks, 1);
    expectConsistent();
    pool.release(block);
    EXPECT_TRUE(heap().live.empty());
}

}  // namespace
}  // namespace vr::pool
