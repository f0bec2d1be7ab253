// Whether the process's window station is one a person sees. A service, or a
// program a service or deployment tool starts, runs on a station nobody
// looks at: a message box there waits for an answer that never comes.
#pragma once

#include <windows.h>

namespace vr::platform {

inline bool windowStationVisible() noexcept
{
    const HWINSTA station = GetProcessWindowStation();
    USEROBJECTFLAGS flags{};
    if (station == nullptr || !GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr))
        return true;  // not known: behave as a desktop program always has
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}

}  // namespace vr::platform
