#include "pool/core/pool.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "vrc_pool.h"

namespace vr::pool {
namespace {

// Headers sit at 4 modulo 8, so the links of a free block are not aligned for
// pointers: every field goes through memcpy, which x64 turns into plain moves.
std::uint16_t load16(const std::byte* at) noexcept
{
    std::uint16_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

void store16(std::byte* at, std::uint16_t value) noexcept { std::memcpy(at, &value, sizeof value); }

std::int32_t load32(const std::byte* at) noexcept
{
    std::int32_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

void store32(std::byte* at, std::int32_t value) noexcept { std::memcpy(at, &value, sizeof value); }

std::byte* loadLink(const std::byte* at) noexcept
{
    std::byte* value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

void storeLink(std::byte* at, std::byte* value) noexcept { std::memcpy(at, &value, sizeof value); }

int sizeOf(const std::byte* header) noexcept { return load16(header + kSizeOffset) & kSizeMask; }
bool inUse(const std::byte* header) noexcept { return (load16(header + kSizeOffset) & kInUseBit) != 0; }
void setSize(std::byte* header, int granules, bool used) noexcept
{
    store16(header + kSizeOffset, static_cast<std::uint16_t>(granules | (used ? kInUseBit : 0)));
}
void setPrevSize(std::byte* header, int granules) noexcept
{
    store16(header + kPrevSizeOffset, static_cast<std::uint16_t>(granules));
}
int prevSizeOf(const std::byte* header) noexcept { return load16(header + kPrevSizeOffset); }

std::byte* asBytes(void* block) noexcept { return static_cast<std::byte*>(block); }

}  // namespace

void Pool::setUpLists() noexcept
{
    for (int sizeClass = 0; sizeClass < kClassCount; ++sizeClass) {
        std::byte* listHead = head(sizeClass);
        std::memset(listHead, 0, kListHeadBytes);
        storeLink(listHead + kPrevLinkOffset, listHead);
        storeLink(listHead + kNextLinkOffset, listHead);
    }
    nonEmpty_.fill(0);
    classHint_ = kLargeClass;
    listsReady_ = true;
}

void Pool::pushFree(std::byte* header, int granules) noexcept
{
    const int sizeClass = classOfFreeBlock(granules);
    std::byte* listHead = head(sizeClass);
    std::byte* first = loadLink(listHead + kNextLinkOffset);
    storeLink(header + kPrevLinkOffset, listHead);
    storeLink(header + kNextLinkOffset, first);
    storeLink(first + kPrevLinkOffset, header);
    storeLink(listHead + kNextLinkOffset, header);
    nonEmpty_[sizeClass / 64] |= std::uint64_t{1} << (sizeClass % 64);
    if (sizeClass < kLargeClass)
        classHint_ = std::max(classHint_, sizeClass);
}

void Pool::unlink(std::byte* header) noexcept
{
    std::byte* prev = loadLink(header + kPrevLinkOffset);
    std::byte* next = loadLink(header + kNextLinkOffset);
    storeLink(prev + kNextLinkOffset, next);
    storeLink(next + kPrevLinkOffset, prev);
    if (prev == next) {
        // Only the head is left in the ring.
        const auto sizeClass = static_cast<int>((prev - heads_[0].data()) / kListHeadBytes);
        nonEmpty_[sizeClass / 64] &= ~(std::uint64_t{1} << (sizeClass % 64));
    }
}

int Pool::firstNonEmptyClass(int from, int below) const noexcept
{
    for (int word = from / 64; word * 64 < below; ++word) {
        std::uint64_t bits = nonEmpty_[word];
        if (word == from / 64)
            bits &= ~std::uint64_t{0} << (from % 64);
        if (bits == 0)
            continue;
        const int found = word * 64 + std::countr_zero(bits);
        return found < below ? found : -1;
    }
    return -1;
}

bool Pool::addChunk() noexcept
{
    std::byte* chunk = asBytes(heap_.allocate(kChunkBytes));
    if (chunk == nullptr)
        return false;
    store32(chunk + kLeftSentinelOffset, static_cast<std::int32_t>(kLeftSentinelValue));
    std::byte* block = chunk + kFirstBlockOffset;
    setPrevSize(block, 1);
    setSize(block, kChunkFreeGranules, false);
    store32(chunk + kRightSentinelOffset, static_cast<std::int32_t>(kRightSentinelValue));
    pushFree(block, kChunkFreeGranules);
    return true;
}

// The list to take a block from for a request of class `sizeClass`, or null
// when a new chunk was needed and the C heap had none.
std::byte* Pool::findList(int sizeClass) noexcept
{
    // Exact classes up to, not including, the hint.
    const int exact = firstNonEmptyClass(sizeClass, std::min(classHint_, kLargeClass));
    if (exact >= 0)
        return head(exact);
    std::byte* large = head(kLargeClass);
    if (loadLink(large + kNextLinkOffset) == large && !addChunk())
        return nullptr;
    classHint_ = std::min(classHint_, sizeClass);
    return large;
}

void* Pool::allocateUncounted(std::int32_t bytes, bool zeroed) noexcept
{
    if (bytes >= kLargeRequestBytes) {
        const std::size_t total = static_cast<std::size_t>(bytes) + kLargeHeaderBytes;
        std::byte* raw = asBytes(zeroed ? heap_.allocateZeroed(total) : heap_.allocate(total));
        if (raw == nullptr)
            return nullptr;
        store32(raw, bytes);
        store32(raw + 4, kLargeBlockTag);
        return raw + kLargeHeaderBytes;
    }
    if (!listsReady_)
        setUpLists();
    const int sizeClass = classOfRequest(bytes);
    const int needed = sizeClass + 2;
    std::byte* list = findList(sizeClass);
    if (list == nullptr)
        return nullptr;

    std::byte* block = loadLink(list + kNextLinkOffset);
    const int granules = sizeOf(block);
    const int remainder = granules - needed;
    unlink(block);
    if (remainder >= kMinSplitRemainder) {
        std::byte* rest = block + static_cast<std::size_t>(needed) * kGranule;
        setPrevSize(rest, needed);
        setSize(rest, remainder, false);
        setPrevSize(rest + static_cast<std::size_t>(remainder) * kGranule, remainder);
        setSize(block, needed, true);
        pushFree(rest, remainder);
    } else {
        setSize(block, granules, true);
    }
    std::byte* user = block + kUserOffset;
    if (zeroed)
        std::memset(user, 0, static_cast<std::size_t>(bytes));
    return user;
}

void Pool::releaseUncounted(void* userBlock) noexcept
{
    std::byte* user = asBytes(userBlock);
    if (load32(user - 4) == kLargeBlockTag) {
        heap_.release(user - kLargeHeaderBytes);
        return;
    }
    std::byte* header = user - kUserOffset;
    int granules = sizeOf(header);

    std::byte* next = header + static_cast<std::size_t>(granules) * kGranule;
    if (!inUse(next)) {
        unlink(next);
        granules += sizeOf(next);
    }
    std::byte* prev = header - static_cast<std::size_t>(prevSizeOf(header)) * kGranule;
    if (!inUse(prev)) {
        unlink(prev);
        granules += sizeOf(prev);
        header = prev;
    }
    setSize(header, granules, false);
    setPrevSize(header + static_cast<std::size_t>(granules) * kGranule, granules);

    if (granules == kChunkFreeGranules) {
        heap_.release(header - kFirstBlockOffset);
        return;
    }
    pushFree(header, granules);
}

void* Pool::allocate(std::int32_t count, std::int32_t elementSize, bool zeroed) noexcept
{
    const auto bytes = requestBytes(count, elementSize);
    if (!bytes)
        return nullptr;
    void* block = allocateUncounted(*bytes, zeroed);
    if (block == nullptr)
        return nullptr;
    ++total_;
    ++live_;
    // live_ counts down below zero when callers free more than they took;
    // compare as the signed value it reports.
    if (static_cast<std::int32_t>(live_) > static_cast<std::int32_t>(peak_))
        peak_ = live_;
    return block;
}

void* Pool::reallocate(void* block, std::int32_t count, std::int32_t elementSize) noexcept
{
    if (block == nullptr)
        return allocate(count, elementSize, false);
    const auto bytes = requestBytes(count, elementSize);
    if (!bytes)
        return nullptr;
    void* moved = allocateUncounted(*bytes, false);
    if (moved == nullptr)
        return nullptr;
    // A pool block's size includes its header, so the copy can take the 4
    // bytes behind its user data; the chunk always holds them.
    const auto copied = static_cast<std::size_t>(std::min(*bytes, blockSize(block)));
    std::memcpy(moved, block, copied);
    releaseUncounted(block);
    ++total_;
    return moved;
}

void* Pool::release(void* block) noexcept
{
    if (block == nullptr)
        return nullptr;
    --live_;
    releaseUncounted(block);
    return nullptr;
}

Stats Pool::stats() const noexcept
{
    return {static_cast<std::int32_t>(live_), static_cast<std::int32_t>(total_), static_cast<std::int32_t>(peak_)};
}

std::int32_t Pool::blockSize(const void* block) noexcept
{
    if (block == nullptr)
        return 0;
    const auto* user = static_cast<const std::byte*>(block);
    if (load32(user - 4) == kLargeBlockTag)
        return load32(user - kLargeHeaderBytes);
    return sizeOf(user - kUserOffset) * static_cast<std::int32_t>(kGranule);
}

HeapFunctions Pool::replaceHeap(const HeapFunctions& heap) noexcept
{
    const HeapFunctions previous = heap_;
    heap_ = heap;
    return previous;
}

Pool& modulePool() noexcept
{
    // Constant-initialised: usable from any static constructor.
    static constinit Pool pool;
    return pool;
}

}  // namespace vr::pool

using vr::pool::modulePool;

extern "C" {

void* PoolAlloc(int count, int elementSize) { return modulePool().allocate(count, elementSize, false); }

void* PoolAllocZero(int count, int elementSize) { return modulePool().allocate(count, elementSize, true); }

void* PoolReAlloc(void* block, int count, int elementSize)
{
    return modulePool().reallocate(block, count, elementSize);
}

void* PoolFree(void* block) { return modulePool().release(block); }

int PoolSize(const void* block) { return vr::pool::Pool::blockSize(block); }

void PoolStats(int* liveBlocks, int* totalAllocations, int* peakLiveBlocks, int* reserved1, int* reserved2)
{
    const vr::pool::Stats stats = modulePool().stats();
    if (liveBlocks)
        *liveBlocks = stats.liveBlocks;
    if (totalAllocations)
        *totalAllocations = stats.totalAllocations;
    if (peakLiveBlocks)
        *peakLiveBlocks = stats.peakLiveBlocks;
    if (reserved1)
        *reserved1 = 0;
    if (reserved2)
        *reserved2 = 0;
}

int PoolLiveCount(void) { return modulePool().stats().liveBlocks; }

}  // extern "C"
