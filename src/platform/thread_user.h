// Whose thread it is: the user the calling thread runs as, set against the
// process's own. A spooler thread impersonates the user of each job; its
// per-user settings, folders and logs are that user's.
#pragma once

#include <windows.h>

#include <cstddef>

namespace vr::platform {

enum class RunsAs {
    ProcessUser,  // no token of its own, or a token of the process's own user
    OtherUser,  // impersonating another user: sid names that user
    Unknown  // a token whose user could not be read
};

struct ThreadUser {
    RunsAs runsAs = RunsAs::Unknown;
    BYTE sid[SECURITY_MAX_SID_SIZE] = {};
};

ThreadUser threadUser() noexcept;

// The SID as text ("S-1-5-21-..."), the name of the user's hive under
// HKEY_USERS; false when it does not fit.
inline constexpr std::size_t kSidTextChars = 192;
bool sidText(const void* sid, wchar_t (&text)[kSidTextChars]) noexcept;

}  // namespace vr::platform
