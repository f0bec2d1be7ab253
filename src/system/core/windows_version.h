// The Windows version families the runtime tells apart, from the platform id
// and version numbers that GetVersionExW reports.
#pragma once

#include <cstdint>

namespace vr::system::osversion {

inline constexpr std::uint32_t kPlatformWin32s = 0;  // VER_PLATFORM_WIN32s
inline constexpr std::uint32_t kPlatformWindows = 1;  // VER_PLATFORM_WIN32_WINDOWS (95, 98, Me)
inline constexpr std::uint32_t kPlatformNT = 2;  // VER_PLATFORM_WIN32_NT

// One flag per family; VRC_GetOSVersionFlags gives exactly one of them, or 0.
inline constexpr std::uint32_t kFlagWin32s = 0x1;
inline constexpr std::uint32_t kFlagWindows95 = 0x2;
inline constexpr std::uint32_t kFlagWindows98 = 0x4;
inline constexpr std::uint32_t kFlagWindowsMe = 0x8;
inline constexpr std::uint32_t kFlagNT4 = 0x20;
inline constexpr std::uint32_t kFlagWindows2000 = 0x40;
inline constexpr std::uint32_t kFlagWindowsXP = 0x80;
inline constexpr std::uint32_t kFlagWindows2003 = 0x100;
inline constexpr std::uint32_t kFlagLaterNT = 0x8000;

struct Version {
    std::uint32_t platformId;
    std::uint32_t major;
    std::uint32_t minor;
};

std::uint32_t flagsFor(const Version& version) noexcept;

// NT 5.0 and later know the "Global\" and "Local\" namespaces of kernel objects.
constexpr bool hasSessionNamespaces(const Version& version) noexcept
{
    return version.platformId == kPlatformNT && version.major >= 5;
}

constexpr bool isVistaOrLater(const Version& version) noexcept { return version.major >= 6; }

}  // namespace vr::system::osversion
