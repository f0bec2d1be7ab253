#include "system/core/windows_version.h"

#include <limits>

namespace vr::system::osversion {
namespace {

constexpr std::uint32_t kAny = std::numeric_limits<std::uint32_t>::max();

struct Row {
    std::uint32_t platformId;
    std::uint32_t majorFirst, majorLast;
    std::uint32_t minorFirst, minorLast;
    std::uint32_t flag;
};

// First matching row wins. Windows 98 reports 4.10, Me 4.90; 4.1 to 4.9
// are no released family and get no flag.
constexpr Row kRows[] = {
    {kPlatformWin32s, 0, kAny, 0, kAny, kFlagWin32s},
    {kPlatformWindows, 0, kAny, 0, 0, kFlagWindows95},
    {kPlatformWindows, 0, kAny, 1, 9, 0},
    {kPlatformWindows, 0, kAny, 10, 89, kFlagWindows98},
    {kPlatformWindows, 0, kAny, 90, kAny, kFlagWindowsMe},
    {kPlatformNT, 0, 4, 0, kAny, kFlagNT4},
    {kPlatformNT, 5, 5, 0, 0, kFlagWindows2000},
    {kPlatformNT, 5, 5, 1, 1, kFlagWindowsXP},
    {kPlatformNT, 5, 5, 2, 2, kFlagWindows2003},
    {kPlatformNT, 5, 5, 3, kAny, kFlagLaterNT},
    {kPlatformNT, 6, kAny, 0, kAny, kFlagLaterNT},
};

}  // namespace

std::uint32_t flagsFor(const Version& version) noexcept
{
    for (const Row& row : kRows) {
        if (row.platformId == version.platformId && version.major >= row.majorFirst && version.major <= row.majorLast &&
            version.minor >= row.minorFirst && version.minor <= row.minorLast)
            return row.flag;
    }
    return 0;
}

}  // namespace vr::system::osversion
