#include "pool/core/pool.h"

namespace vr::pool {

namespace {
constexpr std::uint64_t kResultLimit = 0x7FFFFFFF;
}

// Most of what is free, or a tenth of the machine when little is free.
std::int32_t memoryAllowance(const MemoryStatus& status) noexcept
{
    if (status.availablePhysical >= kResultLimit)
        return static_cast<std::int32_t>(kResultLimit);
    const std::uint64_t tenthOfTotal = status.totalPhysical / 10;
    if (status.availablePhysical > tenthOfTotal)
        return static_cast<std::int32_t>(status.availablePhysical / 10 * 8);
    // In 64 bits: a machine of 2^31 bytes or more must not wrap to a small or
    // negative budget.
    return static_cast<std::int32_t>(tenthOfTotal < kResultLimit ? tenthOfTotal : kResultLimit);
}

std::int32_t availableMemory(const MemoryStatus& status) noexcept
{
    if (status.availablePhysical > kResultLimit || status.availablePageFile > kResultLimit)
        return static_cast<std::int32_t>(kResultLimit);
    const std::uint64_t sum = status.availablePhysical + status.availablePageFile;
    return static_cast<std::int32_t>(sum > kResultLimit ? kResultLimit : sum);
}

}  // namespace vr::pool
