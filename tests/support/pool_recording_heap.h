// For the pool's tests and fuzzer: a C heap that records every call and can
// be told to fail, and a consistency walk over a pool and its chunks. The pool
// does not track its chunks, so the walk is given them; the recording heap
// knows them. Needs the runtime's private headers (vrcommon_internal).
#pragma once

#include <cstdlib>
#include <cstring>
#include <map>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "pool/core/pool.h"

namespace vr::test {

// Process-wide, since the pool's heap hooks are plain function pointers.
class RecordingHeap {
public:
    static RecordingHeap& instance()
    {
        static RecordingHeap heap;
        return heap;
    }
    static pool::HeapFunctions functions()
    {
        return {&RecordingHeap::allocate, &RecordingHeap::allocateZeroed, &RecordingHeap::release};
    }

    // Forget the counts (not the live blocks) and stop failing.
    void resetCounts()
    {
        allocations = zeroedAllocations = releases = 0;
        failuresAhead = -1;
    }
    // The next `successes` allocations succeed, the one after fails, then
    // all succeed again.
    void failAfter(long successes) { failuresAhead = successes; }

    std::vector<const std::byte*> chunks() const
    {
        std::vector<const std::byte*> found;
        for (const auto& [block, bytes] : live) {
            std::int32_t tag;
            std::memcpy(&tag, block + 4, sizeof tag);
            if (bytes == pool::kChunkBytes && tag != pool::kLargeBlockTag)
                found.push_back(block);
        }
        return found;
    }
    std::size_t largeBlocks() const { return live.size() - chunks().size(); }

    std::map<const std::byte*, std::size_t> live;
    long allocations = 0;
    long zeroedAllocations = 0;
    long releases = 0;

private:
    bool failNow()
    {
        if (failuresAhead < 0)
            return false;
        return failuresAhead-- == 0;
    }
    static void* allocate(std::size_t bytes) noexcept { return instance().take(bytes, false); }
    static void* allocateZeroed(std::size_t bytes) noexcept { return instance().take(bytes, true); }
    static void release(void* block) noexcept
    {
        RecordingHeap& heap = instance();
        ++heap.releases;
        heap.live.erase(static_cast<const std::byte*>(block));
        std::free(block);
    }
    void* take(std::size_t bytes, bool zeroed) noexcept
    {
        ++(zeroed ? zeroedAllocations : allocations);
        if (failNow())
            return nullptr;
        void* block = zeroed ? std::calloc(1, bytes) : std::malloc(bytes);
        if (block)
            live.emplace(static_cast<const std::byte*>(block), bytes);
        return block;
    }

    long failuresAhead = -1;
};

namespace pool_check_detail {

inline std::uint16_t field16(const std::byte* at)
{
    std::uint16_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

inline const std::byte* link(const std::byte* at)
{
    const std::byte* value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

inline std::string where(const std::byte* chunk, const std::byte* header)
{
    return "chunk +" + std::to_string(header - chunk) + ": ";
}

}  // namespace pool_check_detail

// Lists: circular, doubly linked, every member free and of the list's class,
// the scan bits matching. Fills `members` with each member's class.
inline std::string checkLists(const pool::Pool& pool, std::unordered_map<const std::byte*, int>& members)
{
    using namespace vr::pool;
    using namespace pool_check_detail;
    if (!pool.listsReady())
        return {};
    for (int sizeClass = 0; sizeClass < kClassCount; ++sizeClass) {
        const std::byte* head = pool.listHead(sizeClass);
        const std::byte* previous = head;
        const std::byte* current = link(head + kNextLinkOffset);
        int count = 0;
        while (current != head) {
            if (link(current + kPrevLinkOffset) != previous)
                return "class " + std::to_string(sizeClass) + ": broken back link";
            const std::uint16_t size = field16(current + kSizeOffset);
            if (size & kInUseBit)
                return "class " + std::to_string(sizeClass) + ": member in use";
            if (classOfFreeBlock(size & kSizeMask) != sizeClass)
                return "class " + std::to_string(sizeClass) + ": member of " + std::to_string(size & kSizeMask) +
                       " granules";
            if (!members.emplace(current, sizeClass).second)
                return "class " + std::to_string(sizeClass) + ": block listed twice";
            if (++count > 1'000'000)
                return "class " + std::to_string(sizeClass) + ": list does not close";
            previous = current;
            current = link(current + kNextLinkOffset);
        }
        if (link(head + kPrevLinkOffset) != previous)
            return "class " + std::to_string(sizeClass) + ": head's back link";
        if (pool.listMarkedNonEmpty(sizeClass) != (count > 0))
            return "class " + std::to_string(sizeClass) + ": scan bit disagrees with the list";
    }
    return {};
}

// One chunk: sentinels in place, sizes chaining from one sentinel to the
// other, previous sizes agreeing, no two free neighbours, every free block on
// its class's list. `freeBlocks` counts the chunk's free blocks.
inline std::string checkChunk(const std::byte* chunk, const std::unordered_map<const std::byte*, int>& members,
                              std::size_t& freeBlocks)
{
    using namespace vr::pool;
    using namespace pool_check_detail;
    std::uint32_t left, right;
    std::memcpy(&left, chunk + kLeftSentinelOffset, sizeof left);
    if (left != kLeftSentinelValue)
        return "left sentinel overwritten";
    const std::byte* header = chunk + kFirstBlockOffset;
    const std::byte* end = chunk + kRightSentinelOffset;
    int previousSize = 1;
    bool previousFree = false;
    while (header < end) {
        const int size = field16(header + kSizeOffset) & kSizeMask;
        const bool free = (field16(header + kSizeOffset) & kInUseBit) == 0;
        if (field16(header + kPrevSizeOffset) != previousSize)
            return where(chunk, header) + "previous size " + std::to_string(field16(header + kPrevSizeOffset)) +
                   ", block in front has " + std::to_string(previousSize);
        if (size < kMinBlockGranules)
            return where(chunk, header) + "block of " + std::to_string(size) + " granules";
        if (free) {
            if (previousFree)
                return where(chunk, header) + "two free neighbours";
            if (size == kChunkFreeGranules)
                return "wholly free chunk kept";
            auto found = members.find(header);
            if (found == members.end())
                return where(chunk, header) + "free block on no list";
            ++freeBlocks;
        }
        previousSize = size;
        previousFree = free;
        header += static_cast<std::size_t>(size) * kGranule;
    }
    if (header != end)
        return "blocks run past the right sentinel";
    std::memcpy(&right, end, sizeof right);
    if ((right >> 16) != (kRightSentinelValue >> 16))
        return "right sentinel overwritten";
    if ((right & 0xFFFF) != static_cast<std::uint32_t>(previousSize))
        return "right sentinel's previous size " + std::to_string(right & 0xFFFF) + ", last block has " +
               std::to_string(previousSize);
    return {};
}

// The whole pool: lists, every chunk, and no list member outside the chunks.
inline std::string checkPool(const pool::Pool& pool, std::span<const std::byte* const> chunks)
{
    std::unordered_map<const std::byte*, int> members;
    if (std::string fault = checkLists(pool, members); !fault.empty())
        return fault;
    std::size_t freeBlocks = 0;
    for (const std::byte* chunk : chunks)
        if (std::string fault = checkChunk(chunk, members, freeBlocks); !fault.empty())
            return fault;
    if (freeBlocks != members.size())
        return std::to_string(members.size()) + " listed blocks, " + std::to_string(freeBlocks) + " free in chunks";
    return {};
}

}  // namespace vr::test
