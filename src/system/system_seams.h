// Test seams of the system routines: where VRC_GetShieldIcon looks for
// SHGetStockIconInfo, so that a test can stand in a shell that lacks it or
// fails it.
#pragma once

namespace vr::system {

// Null restores "shell32.dll".
void setShellLibraryForShieldIcon(const wchar_t* libraryName) noexcept;

}  // namespace vr::system
