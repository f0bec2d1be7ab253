// Test seams of the platform layer: Wine runs every thread as one user, so a
// test stands in what the platform gives a thread running as another user.
// Each setter swaps one function; null restores the real one.
#pragma once

#include <windows.h>

namespace vr::platform {

// Same contract as RegOpenCurrentUser: a test stands another user's hive in
// for the one it gives.
using OpenCurrentUserFunction = LSTATUS (*)(REGSAM access, HKEY* hive);
void setOpenCurrentUser(OpenCurrentUserFunction function) noexcept;

// Copies the token's user into sid (GetTokenInformation's TokenUser).
using TokenUserLookup = bool (*)(HANDLE token, void* sid, DWORD sidBytes);
void setTokenUserLookup(TokenUserLookup lookup) noexcept;

}  // namespace vr::platform
