// Each resolution reads the registry and asks the shell (and may make the
// log folder): counted, so that a test can tell when none was made.
#include "trace/log_path_resolution.h"

#include <atomic>
#include <cwchar>

#include "platform/handles.h"
#include "settings/core/settings_rules.h"
#include "trace/log_paths.h"
#include "trace/tracer_seams.h"
#include "vrc_settings.h"

namespace {

using vr::trace::Resolution;

constexpr const wchar_t* kDebugLogName = L"VRCDBG62.LOG";
constexpr const wchar_t* kDriverLogName = L"VRCDRV62.LOG";
using vr::settings::kEnvironmentKey;

std::atomic<unsigned long> resolutions{0};

// NVS_DATA_LOGS is stored: in server mode the log folder then fails only when
// the folder it names is missing, which no registry change reports.
bool serverLogFolderNamed() noexcept
{
    if (!VRC_IsServerMode())
        return false;
    vr::UniqueRegistryKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kEnvironmentKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, vr::put(key)) !=
        ERROR_SUCCESS)
        return false;
    return RegQueryValueExW(key.get(), vr::settings::kDataLogsVariable, nullptr, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
}

// The product's log folder, then "\" and the file name.
Resolution resolveInLogFolder(wchar_t* path, DWORD capacity, const wchar_t* fileName) noexcept
{
    Resolution resolution;
    resolution.keepable = true;
    path[0] = L'\0';
    if (!VRC_GetLogsFolder(path, capacity)) {
        resolution.keepable = !serverLogFolderNamed();
        resolution.perUser = true;
        path[0] = L'\0';
        if (!VRC_GetUserDataFolder(path, capacity))
            return {};
    }
    path[capacity - 1] = L'\0';
    const std::size_t folder = std::wcslen(path);
    const std::size_t name = std::wcslen(fileName);
    // A path that does not fit, or no folder at all, writes nothing rather
    // than a cut name or a file in the root of the current drive.
    if (folder == 0 || folder + 1 + name >= capacity)
        return {};
    path[folder] = L'\\';
    std::wmemcpy(path + folder + 1, fileName, name + 1);
    resolution.found = true;
    return resolution;
}

}  // namespace

namespace vr::trace {

Resolution resolveDebugLog(wchar_t* path, DWORD capacity) noexcept
{
    resolutions.fetch_add(1, std::memory_order_relaxed);
    return resolveInLogFolder(path, capacity, kDebugLogName);
}

Resolution resolveDriverLog(wchar_t* path, DWORD capacity) noexcept
{
    resolutions.fetch_add(1, std::memory_order_relaxed);
    // Zeroed first: the settings read adds no terminator of its own.
    std::wmemset(path, L'\0', capacity);
    const DWORD bytes = capacity > MAXDWORD / sizeof(wchar_t) ? MAXDWORD - 1 : capacity * sizeof(wchar_t);
    // DriverLogFile is read from the hive of the user the thread runs as:
    // whether it is set or not, the path found serves that user alone.
    if (VRC_GetStringValue(nullptr, nullptr, L"DriverLogFile", path, bytes, 1)) {
        path[capacity - 1] = L'\0';
        if (path[0] != L'\0')
            return {true, true, true};
    }
    Resolution resolution = resolveInLogFolder(path, capacity, kDriverLogName);
    resolution.perUser = true;
    return resolution;
}

unsigned long logPathResolutions() noexcept { return resolutions.load(std::memory_order_relaxed); }

}  // namespace vr::trace
