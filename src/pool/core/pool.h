// The small-block pool behind PoolAlloc and friends, as a class so that tests
// and the fuzzer can run fresh pools over a C heap of their own.
//
// Layout (all sizes in 8-byte granules, header included):
//   chunk   30,720 bytes from the C heap: 4 unused bytes, a left sentinel
//           header at +4, blocks from +12, a right sentinel header at +30,708
//   header  int16 previous size, int16 size with 0x8000 set while in use;
//           the caller's bytes follow at header + 4
//   free    header + 8: pointer to the previous list member (or the head),
//           header + 16: pointer to the next one (or the head)
//   large   requests of 1,924 bytes and more: C-heap block of request + 8,
//           int32 request at +0, int32 -1 at +4, caller's bytes at +8
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>

namespace vr::pool {

inline constexpr std::size_t kGranule = 8;
inline constexpr std::size_t kChunkBytes = 30720;
inline constexpr std::size_t kLeftSentinelOffset = 4;
inline constexpr std::size_t kFirstBlockOffset = 12;
inline constexpr std::size_t kRightSentinelOffset = 30708;
inline constexpr int kChunkFreeGranules = 3837;
inline constexpr std::uint32_t kLeftSentinelValue = 0x80010000u;
inline constexpr std::uint32_t kRightSentinelValue = 0x80010EFDu;

inline constexpr std::uint16_t kInUseBit = 0x8000;
inline constexpr std::uint16_t kSizeMask = 0x7FFF;
inline constexpr std::size_t kPrevSizeOffset = 0;
inline constexpr std::size_t kSizeOffset = 2;
inline constexpr std::size_t kUserOffset = 4;
inline constexpr std::size_t kPrevLinkOffset = 8;
inline constexpr std::size_t kNextLinkOffset = 16;
inline constexpr std::size_t kListHeadBytes = 24;

inline constexpr int kClassCount = 240;
inline constexpr int kLargeClass = 239;  // every free block of 241 granules and up
inline constexpr int kLargeClassMinGranules = 241;
inline constexpr int kMinBlockGranules = 4;  // room for the header and both links
inline constexpr int kMinSplitRemainder = 4;

inline constexpr std::int32_t kLargeRequestBytes = 1924;  // and up: straight to the C heap
inline constexpr std::int32_t kMinServedBytes = 28;  // smaller requests are served as 28
inline constexpr std::int32_t kLargeBlockTag = -1;
inline constexpr std::size_t kLargeHeaderBytes = 8;

// Size class of a free block of `granules`.
constexpr int classOfFreeBlock(int granules) noexcept
{
    return granules >= kLargeClassMinGranules ? kLargeClass : granules - 2;
}

// Class searched first for a pool request of `bytes` (< 1,924); a block of
// class + 2 granules serves it.
constexpr int classOfRequest(std::int32_t bytes) noexcept
{
    return ((bytes < kMinServedBytes ? kMinServedBytes : bytes) - 5) / 8;
}

// The bytes a count * element-size request stands for, or nothing when the
// product is negative or does not fit 31 bits.
constexpr std::optional<std::int32_t> requestBytes(std::int32_t count, std::int32_t elementSize) noexcept
{
    const std::int64_t product = std::int64_t{count} * elementSize;
    if (product < 0 || product > INT32_MAX)
        return std::nullopt;
    return static_cast<std::int32_t>(product);
}

// Where chunks and large blocks come from; replaceable so that tests can count
// the calls and make them fail.
struct HeapFunctions {
    void* (*allocate)(std::size_t bytes) noexcept;
    void* (*allocateZeroed)(std::size_t bytes) noexcept;  // whole block cleared
    void (*release)(void* block) noexcept;
};
namespace detail {
inline void* cAllocate(std::size_t bytes) noexcept { return std::malloc(bytes); }
inline void* cAllocateZeroed(std::size_t bytes) noexcept { return std::calloc(1, bytes); }
inline void cRelease(void* block) noexcept { std::free(block); }
}  // namespace detail
inline constexpr HeapFunctions kCHeap{&detail::cAllocate, &detail::cAllocateZeroed, &detail::cRelease};

struct Stats {
    std::int32_t liveBlocks;
    std::int32_t totalAllocations;
    std::int32_t peakLiveBlocks;
};

class Pool {
public:
    constexpr Pool() noexcept = default;
    explicit constexpr Pool(const HeapFunctions& heap) noexcept : heap_(heap) {}
    Pool(const Pool&) = delete;  // the lists point into the object
    Pool& operator=(const Pool&) = delete;

    // The counting operations behind the exported functions.
    void* allocate(std::int32_t count, std::int32_t elementSize, bool zeroed) noexcept;
    void* reallocate(void* block, std::int32_t count, std::int32_t elementSize) noexcept;
    void* release(void* block) noexcept;
    Stats stats() const noexcept;

    static std::int32_t blockSize(const void* block) noexcept;

    HeapFunctions replaceHeap(const HeapFunctions& heap) noexcept;

    // Inspection for the consistency checker and the tests.
    bool listsReady() const noexcept { return listsReady_; }
    int classHint() const noexcept { return classHint_; }
    const std::byte* listHead(int sizeClass) const noexcept { return heads_[sizeClass].data(); }
    bool listMarkedNonEmpty(int sizeClass) const noexcept
    {
        return (nonEmpty_[sizeClass / 64] >> (sizeClass % 64) & 1) != 0;
    }

private:
    void* allocateUncounted(std::int32_t bytes, bool zeroed) noexcept;
    void releaseUncounted(void* block) noexcept;
    void setUpLists() noexcept;
    std::byte* findList(int sizeClass) noexcept;
    bool addChunk() noexcept;
    void pushFree(std::byte* header, int granules) noexcept;
    void unlink(std::byte* header) noexcept;
    int firstNonEmptyClass(int from, int below) const noexcept;
    std::byte* head(int sizeClass) noexcept { return heads_[sizeClass].data(); }

    alignas(8) std::array<std::array<std::byte, kListHeadBytes>, kClassCount> heads_{};
    // One bit per class with members, so that the upward scan skips empty
    // lists a word at a time; the lists themselves stay the record.
    std::array<std::uint64_t, (kClassCount + 63) / 64> nonEmpty_{};
    HeapFunctions heap_ = kCHeap;
    int classHint_ = 0;
    bool listsReady_ = false;
    // Unsigned so that the counters wrap like the 32-bit values they report.
    std::uint32_t live_ = 0;
    std::uint32_t total_ = 0;
    std::uint32_t peak_ = 0;
};

// The process's pool, behind the exported functions.
Pool& modulePool() noexcept;

// Memory status as the platform reports it, in bytes.
struct MemoryStatus {
    std::uint64_t totalPhysical;
    std::uint64_t availablePhysical;
    std::uint64_t totalPageFile;
    std::uint64_t availablePageFile;
};

std::int32_t memoryAllowance(const MemoryStatus& status) noexcept;
std::int32_t availableMemory(const MemoryStatus& status) noexcept;

}  // namespace vr::pool
