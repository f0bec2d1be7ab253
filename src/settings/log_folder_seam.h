// Test seam: the creation of the server log folder may be replaced, since
// Wine keeps no security descriptor on its folders and the test must see the
// one the folder is given.
#pragma once

#include <windows.h>

namespace vr::settings {

// Same contract as CreateDirectoryW.
using CreateFolderFunction = BOOL (*)(const wchar_t* path, SECURITY_ATTRIBUTES* security);

// Null restores CreateDirectoryW.
void replaceServerLogFolderCreation(CreateFolderFunction function) noexcept;

}  // namespace vr::settings
