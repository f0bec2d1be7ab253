// The log paths, resolved once and kept while nothing they depend on changes:
// the settings keys of both hives (DriverLogFile, UserPath, Server), the
// machine environment (NVS_DATA_ROOT, NVS_DATA_LOGS) and the shell's folder
// keys. A log folder removed since shows when the log cannot be opened for
// want of its folder: the writer then asks for the path afresh, which makes
// the folder again. So a line always goes where a fresh resolution would send
// it at that moment.
#include "trace/log_paths.h"

#include <array>
#include <cwchar>

#include "platform/handles.h"
#include "settings/core/settings_rules.h"
#include "trace/registry_watch.h"
#include "vrc_settings.h"
#include "vrc_trace.h"

namespace {

using namespace vr::trace;

constexpr const wchar_t* kDebugLogName = L"VRCDBG62.LOG";
constexpr const wchar_t* kDriverLogName = L"VRCDRV62.LOG";
using vr::settings::kEnvironmentKey;

// The settings key as the watch takes it: without its trailing backslash.
constexpr auto kSettingsKeyChars = [] {
    static_assert(VRC_SETTINGS_KEY[std::size(VRC_SETTINGS_KEY) - 2] == L'\\');
    std::array<wchar_t, std::size(VRC_SETTINGS_KEY) - 1> key{};
    for (std::size_t i = 0; i + 1 < key.size(); ++i)
        key[i] = VRC_SETTINGS_KEY[i];
    return key;
}();
constexpr const wchar_t* kSettingsKey = kSettingsKeyChars.data();
// The shell reads its folders from "User Shell Folders"; "Shell Folders" is a
// copy it writes for old programs, so it is not a source of the paths.
constexpr const wchar_t* kShellFoldersKey =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

// The settings and the environment are read in the 64-bit view whenever the
// process runs under WOW64, which is the only view there is in every other
// process: they are watched in that view always. The shell reads its keys
// in the process's own view.
const WatchedKey kWatchedKeys[] = {
    {HKEY_CURRENT_USER, kSettingsKey, KEY_WOW64_64KEY},
    {HKEY_LOCAL_MACHINE, kSettingsKey, KEY_WOW64_64KEY},
    {HKEY_LOCAL_MACHINE, kEnvironmentKey, KEY_WOW64_64KEY},
    {HKEY_CURRENT_USER, kShellFoldersKey, 0},
    {HKEY_LOCAL_MACHINE, kShellFoldersKey, 0},
};

struct Resolution {
    bool found = false;
    bool keepable = false;  // depends on nothing but the watched keys and the folder's existence
};

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

Resolution resolveDebugLog(wchar_t* path, DWORD capacity) noexcept
{
    return resolveInLogFolder(path, capacity, kDebugLogName);
}

Resolution resolveDriverLog(wchar_t* path, DWORD capacity) noexcept
{
    // Zeroed first: the settings read adds no terminator of its own.
    std::wmemset(path, L'\0', capacity);
    const DWORD bytes = capacity > MAXDWORD / sizeof(wchar_t) ? MAXDWORD - 1 : capacity * sizeof(wchar_t);
    if (VRC_GetStringValue(nullptr, nullptr, L"DriverLogFile", path, bytes, 1)) {
        path[capacity - 1] = L'\0';
        if (path[0] != L'\0')
            return {true, true};
    }
    return resolveInLogFolder(path, capacity, kDriverLogName);
}

using Resolver = Resolution (*)(wchar_t* path, DWORD capacity) noexcept;

struct KeptPath {
    const DWORD capacity;
    wchar_t* const text;
    Resolver resolve;
    bool valid = false;
    std::size_t length = 0;
};

wchar_t debugLogText[kLogPathChars];
wchar_t driverLogText[kDriverPathChars];

// A nested lookup: a settings or folder routine reporting while the thread
// resolves a path. It resolves afresh, outside the cache.
thread_local bool resolvingHere = false;

class LogPathCache {
public:
    PathLookup find(KeptPath& kept, wchar_t* path, DWORD capacity, bool afresh) noexcept
    {
        if (resolvingHere || capacity != kept.capacity)
            return {kept.resolve(path, capacity).found, false};
        // Once the process exits, a thread ended while it held the lock never
        // gives it back: a line traced then resolves afresh rather than wait.
        if (!processExiting())
            AcquireSRWLockExclusive(&lock_);
        else if (!TryAcquireSRWLockExclusive(&lock_))
            return {kept.resolve(path, capacity).found, false};
        const bool watched = watchesHold();
        PathLookup lookup{watched && kept.valid && !afresh, true};
        if (!lookup.found) {
            resolvingHere = true;
            const Resolution resolution = kept.resolve(kept.text, kept.capacity);
            resolvingHere = false;
            lookup = {resolution.found, false};
            kept.valid = watched && resolution.found && resolution.keepable;
            kept.length = resolution.found ? std::wcslen(kept.text) : 0;
        }
        if (lookup.found)
            std::wmemcpy(path, kept.text, kept.length + 1);
        ReleaseSRWLockExclusive(&lock_);
        return lookup;
    }

private:
    // True while every watch is armed and nothing watched has changed. Anything
    // else forgets every kept path and arms the watches again, before the
    // paths are resolved, so that a change made during a resolution is seen
    // by the next line.
    bool watchesHold() noexcept
    {
        if (state_ == WatchState::Impossible)
            return false;
        if (state_ == WatchState::Armed && !watch_.changed())
            return true;
        debugLog.valid = false;
        driverLog.valid = false;
        state_ = watch_.arm(kWatchedKeys);
        return state_ == WatchState::Armed;
    }

    SRWLOCK lock_ = SRWLOCK_INIT;
    RegistryWatch watch_;
    WatchState state_ = WatchState::NotArmed;

public:
    KeptPath debugLog{kLogPathChars, debugLogText, resolveDebugLog};
    KeptPath driverLog{static_cast<DWORD>(kDriverPathChars), driverLogText, resolveDriverLog};
};

// Never destroyed: a thread may still write a line while the process ends.
LogPathCache& cache() noexcept
{
    static LogPathCache* const paths = new LogPathCache;
    return *paths;
}

}  // namespace

namespace vr::trace {

PathLookup logPath(LogFile log, wchar_t* path, DWORD capacity, bool afresh) noexcept
{
    if (path == nullptr || capacity == 0)
        return {};
    LogPathCache& paths = cache();
    return paths.find(log == LogFile::Debug ? paths.debugLog : paths.driverLog, path, capacity, afresh);
}

}  // namespace vr::trace

extern "C" int DBG_DriverLogPath(wchar_t* buffer, DWORD capacity)
{
    return vr::trace::logPath(vr::trace::LogFile::Driver, buffer, capacity).found ? 1 : 0;
}
