// The running Windows version as GetVersionExW reports it (under a
// compatibility setting, the version that setting claims).
#pragma once

#include <windows.h>

#include "system/core/windows_version.h"

namespace vr::system::osversion {

inline bool queryRunningVersion(Version& version) noexcept
{
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!GetVersionExW(&info))
        return false;
    version = {info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion};
    return true;
}

}  // namespace vr::system::osversion
