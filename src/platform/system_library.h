// Loading a platform DLL from the system folder only. A name alone lets the
// loader look in the program's folder and the current folder first, where
// anybody who can write there plants a DLL that then runs with the caller's
// rights (an elevated installer, the spooler, a service).
#pragma once

#include <windows.h>

#include <cwchar>

#include "platform/handles.h"

namespace vr::platform {

inline HMODULE loadSystemLibrary(const wchar_t* name) noexcept
{
    if (HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32))
        return module;
    // A system without the search flags refuses them as an invalid parameter:
    // load by the full path in the system folder instead.
    if (GetLastError() != ERROR_INVALID_PARAMETER)
        return nullptr;
    wchar_t path[MAX_PATH];
    const UINT folder = GetSystemDirectoryW(path, MAX_PATH);
    const std::size_t length = std::wcslen(name);
    if (folder == 0 || folder + 1 + length >= MAX_PATH)
        return nullptr;
    path[folder] = L'\\';
    std::wmemcpy(path + folder + 1, name, length + 1);
    return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// Limits the DLLs the process loads by name from now on (its own and those
// the system loads for it) to the system folder. Bound at run time: the entry
// is in kernel32 from Windows 8 on and on Windows 7 with KB2533623, and an
// import of it would keep the program from starting anywhere else. False
// where the system has no such entry.
inline bool restrictDllSearchToSystemFolder() noexcept
{
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    const auto setDefault =
        bind<SetDefaultDllDirectoriesFunction>(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
    return setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
}

}  // namespace vr::platform
