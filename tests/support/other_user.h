// Another user for tests of impersonating threads. Wine runs every thread as
// one user: the runtime's seam reports this user for a thread that
// impersonates, and the test makes the user's hive under HKEY_USERS, where a
// loaded profile is.
#pragma once

#include <windows.h>

#include <string>

namespace vr::test {

inline constexpr const wchar_t* kOtherUserSid = L"S-1-5-21-1004336348-1177238915-682003330-1107";
// A user whose profile is not loaded: nothing under HKEY_USERS names it.
inline constexpr const wchar_t* kUnloadedUserSid = L"S-1-5-21-1004336348-1177238915-682003330-1108";

// Lookups for the runtime's seam of the token's user (same contract as it).
bool otherUserLookup(HANDLE token, void* sid, DWORD sidBytes);
bool unloadedUserLookup(HANDLE token, void* sid, DWORD sidBytes);

// HKEY_USERS\<kOtherUserSid>\<path>; the hive's root for an empty path.
std::wstring otherUserKey(const std::wstring& path = L"");

// Handles this process holds on keys at or under hive\path, beyond the one
// this call opens on each key to count them.
unsigned long keyHandlesUnder(HKEY hive, const std::wstring& path);

}  // namespace vr::test
