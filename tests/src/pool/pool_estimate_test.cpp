// The memory estimates: pure arithmetic over a memory status, and on Windows
// the exported functions over the platform's real status.
#include <gtest/gtest.h>

#include "pool/core/pool.h"

#ifdef _WIN32
#include <windows.h>

#include "vrc_pool.h"
#endif

namespace vr::pool {
namespace {

constexpr std::uint64_t kGiB = 1ull << 30;

MemoryStatus physical(std::uint64_t available, std::uint64_t total) { return {total, available, 0, 0}; }

TEST(MemoryAllowance, EightTenthsOfWhatIsFreeRoundedDownFirst)
{
    EXPECT_EQ(memoryAllowance(physical(1'000'000'005, 8'000'000'000)), 800'000'000);
    EXPECT_EQ(memoryAllowance(physical(1'000'000'009, 2'000'000'000)), 800'000'000);
    EXPECT_EQ(memoryAllowance(physical(19, 100)), 8);
}

TEST(MemoryAllowance, CappedWhenFreeMemoryFillsTheResult)
{
    EXPECT_EQ(memoryAllowance(physical(0x7FFFFFFF, 4 * kGiB)), 0x7FFFFFFF);
    EXPECT_EQ(memoryAllowance(physical(64 * kGiB, 128 * kGiB)), 0x7FFFFFFF);
    EXPECT_EQ(memoryAllowance(physical(0x7FFFFFFE, 4 * kGiB)), 0x7FFFFFFE / 10 * 8);
}

TEST(MemoryAllowance, ATenthOfTheMachineWhenLittleIsFree)
{
    EXPECT_EQ(memoryAllowance(physical(100'000'000, 1'000'000'000)), 100'000'000);
    EXPECT_EQ(memoryAllowance(physical(0, 2'000'000'000)), 200'000'000);
    // Totals of 2^31 bytes and more: a tenth in 64 bits, where the low 32
    // bits alone would give 0, a negative or a tiny budget.
    EXPECT_EQ(memoryAllowance(physical(0, 4 * kGiB)), static_cast<std::int32_t>(4 * kGiB / 10));
    EXPECT_EQ(memoryAllowance(physical(300'000'000, 3 * kGiB)), static_cast<std::int32_t>(3 * kGiB / 10));
    EXPECT_EQ(memoryAllowance(physical(1 * kGiB, 32 * kGiB)), 0x7FFFFFFF);
    EXPECT_EQ(memoryAllowance(physical(0, 0)), 0);
}

TEST(AvailableMemory, SumOfPhysicalAndPageFileCapped)
{
    EXPECT_EQ(availableMemory({0, 0x60000000, 0, 0x30000000}), 0x7FFFFFFF);
    EXPECT_EQ(availableMemory({0, 0x40000000, 0, 0x3FFFFFFF}), 0x7FFFFFFF);
    EXPECT_EQ(availableMemory({0, 0x40000000, 0, 0x30000000}), 0x70000000);
    EXPECT_EQ(availableMemory({0, 0x80000000, 0, 0}), 0x7FFFFFFF);
    EXPECT_EQ(availableMemory({0, 0, 0, ~0ull}), 0x7FFFFFFF);
    EXPECT_EQ(availableMemory({0, ~0ull, 0, ~0ull}), 0x7FFFFFFF);
    EXPECT_EQ(availableMemory({0, 0, 0, 0}), 0);
}

#ifdef _WIN32
TEST(MemoryEstimates, ExportedFunctionsReadTheMemoryStatus)
{
    MEMORYSTATUS status{};
    status.dwLength = sizeof status;
    GlobalMemoryStatus(&status);
    ASSERT_GT(status.dwTotalPhys, 0u);
    const MemoryStatus seen{status.dwTotalPhys, status.dwAvailPhys, status.dwTotalPageFile, status.dwAvailPageFile};
    // Free memory moves between the two reads; allow a little slack.
    const std::int64_t allowance = MemoryAllowance();
    const std::int64_t available = AvailableMemory();
    EXPECT_NEAR(static_cast<double>(allowance), memoryAllowance(seen), 64.0 * 1024 * 1024);
    EXPECT_NEAR(static_cast<double>(available), availableMemory(seen), 64.0 * 1024 * 1024);
    EXPECT_GT(allowance, 0);
    EXPECT_GT(available, 0);
}
#endif

}  // namespace
}  // namespace vr::pool
