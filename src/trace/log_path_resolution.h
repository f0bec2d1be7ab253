// How each log's path is worked out from the settings, the machine
// environment and the data folders, for the thread that asks.
#pragma once

#include <windows.h>

#include <array>
#include <cstddef>

#include "vrc_settings.h"

namespace vr::trace {

// What the paths are resolved from, as the watches name the keys: the
// settings key without its trailing backslash, and the shell's folder key.
inline constexpr auto kSettingsKeyChars = [] {
    static_assert(VRC_SETTINGS_KEY[std::size(VRC_SETTINGS_KEY) - 2] == L'\\');
    std::array<wchar_t, std::size(VRC_SETTINGS_KEY) - 1> key{};
    for (std::size_t i = 0; i + 1 < key.size(); ++i)
        key[i] = VRC_SETTINGS_KEY[i];
    return key;
}();
inline constexpr const wchar_t* kSettingsKey = kSettingsKeyChars.data();
// The shell reads its folders from "User Shell Folders"; "Shell Folders" is a
// copy it writes for old programs, so it is not a source of the paths.
inline constexpr const wchar_t* kShellFoldersKey =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

struct Resolution {
    bool found = false;
    bool keepable = false;  // depends on nothing but the watched keys and the folder's existence
    bool perUser = false;  // in the data folder, or DriverLogFile, of the user the thread runs as
};

using Resolver = Resolution (*)(wchar_t* path, DWORD capacity) noexcept;

// The log folder's VRCDBG62.LOG.
Resolution resolveDebugLog(wchar_t* path, DWORD capacity) noexcept;
// DriverLogFile when it is set, else the log folder's VRCDRV62.LOG.
Resolution resolveDriverLog(wchar_t* path, DWORD capacity) noexcept;

}  // namespace vr::trace
