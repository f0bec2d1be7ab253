// Whether the process's window station is one a person sees. A service, or a
// program a service or deployment tool starts, runs on a station nobody
// looks at: a message box there waits for an answer that never comes. Nobody
// sees session 0 either (from Windows Vista on nobody logs on there), though
// an interactive service (the spooler on Windows 7, and wherever interactive
// services are allowed) runs there on a station marked visible.
#pragma once

#include <windows.h>

namespace vr::platform {

struct StationFacts {
    bool flagsKnown;  // the station's UOI_FLAGS could be read
    DWORD flags;
    bool sessionKnown;  // the process's session could be read
    DWORD session;
};

// What is not known counts as a desktop program has always counted: seen.
constexpr bool boxesCanBeSeen(const StationFacts& facts) noexcept
{
    if (facts.sessionKnown && facts.session == 0)
        return false;
    return !facts.flagsKnown || (facts.flags & WSF_VISIBLE) != 0;
}

inline StationFacts processStationFacts() noexcept
{
    StationFacts facts{};
    const HWINSTA station = GetProcessWindowStation();
    USEROBJECTFLAGS flags{};
    facts.flagsKnown =
        station != nullptr && GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr);
    facts.flags = flags.dwFlags;
    facts.sessionKnown = ProcessIdToSessionId(GetCurrentProcessId(), &facts.session) != FALSE;
    return facts;
}

inline bool windowStationVisible() noexcept { return boxesCanBeSeen(processStationFacts()); }

}  // namespace vr::platform
