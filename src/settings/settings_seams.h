// Test seams of the settings and folders: what the platform under test does
// not show. Each setter swaps one function; null restores the real one.
#pragma once

#include <windows.h>

namespace vr::settings {

// The creation of the server log folder, with CreateDirectoryW's contract:
// Wine keeps no security descriptor on its folders, and the test must see
// the one the folder is given.
using CreateFolderFunction = BOOL (*)(const wchar_t* path, SECURITY_ATTRIBUTES* security);
void setServerLogFolderCreation(CreateFolderFunction function) noexcept;

// The spooler's DeletePrinterDataW (the printer handle, the value name, the
// Win32 status): some spoolers, Wine's among them, end the process when it
// is called.
using DeletePrinterDataFunction = unsigned long (*)(void* printer, const wchar_t* valueName);
void setDeletePrinterData(DeletePrinterDataFunction function) noexcept;

}  // namespace vr::settings
