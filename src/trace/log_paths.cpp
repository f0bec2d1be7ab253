// The log paths, resolved once and kept while nothing they depend on changes:
// the settings keys of both hives (DriverLogFile, UserPath, Server), the
// machine environment (NVS_DATA_ROOT, NVS_DATA_LOGS) and the shell's folder
// keys. A log folder removed since shows when the log cannot be opened for
// want of its folder: the writer then asks for the path afresh, which makes
// the folder again. So a line always goes where a fresh resolution would send
// it at that moment.
#include "trace/log_paths.h"

#include <array>
#include <atomic>
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
    bool perUser = false;  // in the data folder of the user the thread runs as
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

Resolution resolveDebugLog(wchar_t* path, DWORD capacity) noexcept
{
    return resolveInLogFolder(path, capacity, kDebugLogName);
}

Resolution resolveDriverLog(wchar_t* path, DWORD capacity) noexcept
{
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

using Resolver = Resolution (*)(wchar_t* path, DWORD capacity) noexcept;

// Every resolution reads the registry and asks the shell: counted, so that a
// test can tell when none was made.
std::atomic<unsigned long> resolutions{0};

template <Resolver resolve>
Resolution counted(wchar_t* path, DWORD capacity) noexcept
{
    resolutions.fetch_add(1, std::memory_order_relaxed);
    return resolve(path, capacity);
}

// The user a token runs as, copied into sid.
bool tokenUser(HANDLE token, void* sid, DWORD sidBytes) noexcept
{
    alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD length = 0;
    if (!GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &length))
        return false;
    return CopySid(sidBytes, sid, reinterpret_cast<const TOKEN_USER*>(buffer)->User.Sid) != FALSE;
}
std::atomic<TokenUserLookup> threadUserLookup{tokenUser};

// The process's own user, looked up once.
struct ProcessUser {
    INIT_ONCE once = INIT_ONCE_STATIC_INIT;
    bool known = false;
    BYTE sid[SECURITY_MAX_SID_SIZE] = {};
};
ProcessUser processUser;

BOOL CALLBACK lookUpProcessUser(INIT_ONCE*, void*, void**) noexcept
{
    vr::UniqueHandle token;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, vr::put(token)))
        processUser.known = tokenUser(token.get(), processUser.sid, sizeof processUser.sid);
    return TRUE;
}

// The data folder the shell gives depends on the user the thread runs as: a
// thread impersonating a client (the spooler's, for each job) resolves a path
// in it itself, uncached, so that such a kept path only ever serves the
// process's own user and is only ever filled by it. DriverLogFile is read from
// the thread's own user's hive too; the server log folder is the same for
// every thread of the process.
bool runsAsProcessUser() noexcept
{
    vr::UniqueHandle token;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, vr::put(token)))
        return GetLastError() == ERROR_NO_TOKEN;
    InitOnceExecuteOnce(&processUser.once, lookUpProcessUser, nullptr, nullptr);
    BYTE sid[SECURITY_MAX_SID_SIZE];
    return processUser.known && threadUserLookup.load()(token.get(), sid, sizeof sid) && IsValidSid(sid) &&
           EqualSid(sid, processUser.sid);
}

struct KeptPath {
    const DWORD capacity;
    wchar_t* const text;
    Resolver resolve;
    bool valid = false;
    bool perUser = false;
    // perUser as threads may read it without the lock, so that the question
    // whose thread it is, a call into the system, is asked outside the lock.
    std::atomic<bool> perUserHint{false};
    std::size_t length = 0;
};

wchar_t debugLogText[kLogPathChars];
wchar_t driverLogText[kDriverPathChars];

// Watches that could not be armed are asked for again at most this often.
constexpr ULONGLONG kRearmMilliseconds = 1000;

// Paths are resolved into the caller's buffer with no lock held, since the
// folder routines load libraries and make folders: a thread tracing from a
// DllMain must not wait for one that waits for the loader, and a thread killed
// mid-resolution leaves no lock behind. The lock only guards the kept texts
// and the watches; a resolution is kept only if nothing changed while it ran.
class LogPathCache {
public:
    PathLookup find(KeptPath& kept, wchar_t* path, DWORD capacity, bool afresh) noexcept
    {
        // Once the module has given back what it held, or while the process
        // exits, the loader lock is held: resolving would read the registry,
        // ask the shell and make folders under it. Only a path kept before
        // serves then; without one the line goes nowhere.
        if (vr::trace::runtimeReleased() || processExiting())
            return keptOnly(kept, path, capacity, afresh);
        if (capacity != kept.capacity)
            return {kept.resolve(path, capacity).found, false};
        // Asked only of a path that depends on the thread's user, once per lookup.
        int asProcessUser = -1;
        if (kept.perUserHint.load(std::memory_order_relaxed))
            asProcessUser = runsAsProcessUser() ? 1 : 0;
        AcquireSRWLockExclusive(&lock_);
        const bool watched = watchesHold();
        bool earlier = watched && kept.valid && !afresh;
        if (earlier && kept.perUser) {
            if (asProcessUser == -1)
                asProcessUser = runsAsProcessUser() ? 1 : 0;
            earlier = asProcessUser == 1;
        }
        if (earlier)
            std::wmemcpy(path, kept.text, kept.length + 1);
        const unsigned long long generation = generation_;
        ReleaseSRWLockExclusive(&lock_);
        if (earlier)
            return {true, true};

        const Resolution resolution = kept.resolve(path, capacity);
        if (resolution.perUser && asProcessUser == -1)
            asProcessUser = runsAsProcessUser() ? 1 : 0;
        if (watched && asProcessUser != 0) {
            AcquireSRWLockExclusive(&lock_);
            if (watchesHold() && generation_ == generation) {
                kept.valid = resolution.found && resolution.keepable;
                kept.perUser = resolution.perUser;
                kept.perUserHint.store(resolution.perUser, std::memory_order_relaxed);
                kept.length = kept.valid ? std::wcslen(path) : 0;
                if (kept.valid)
                    std::wmemcpy(kept.text, path, kept.length + 1);
            }
            ReleaseSRWLockExclusive(&lock_);
        }
        return {resolution.found, false};
    }

    // Drops the watches' keys and events; the module is going away. The kept
    // texts stay, in static storage, for lines traced after this.
    void release() noexcept
    {
        watch_.release();
        state_ = WatchState::NotArmed;
    }

private:
    // The kept path as it is, with no watch asked and nothing resolved; a
    // thread killed while it held the lock leaves none to serve.
    PathLookup keptOnly(const KeptPath& kept, wchar_t* path, DWORD capacity, bool afresh) noexcept
    {
        if (afresh || !TryAcquireSRWLockExclusive(&lock_))
            return {};
        const bool found = kept.valid && kept.length < capacity && (!kept.perUser || runsAsProcessUser());
        if (found)
            std::wmemcpy(path, kept.text, kept.length + 1);
        ReleaseSRWLockExclusive(&lock_);
        return {found, found};
    }

    // True while every watch is armed and nothing watched has changed. Anything
    // else forgets every kept path (a newer generation) and arms the watches
    // again, before the paths are resolved, so that a change made during a
    // resolution is seen by the next line.
    bool watchesHold() noexcept
    {
        if (state_ == WatchState::Armed && !watch_.changed())
            return true;
        if (state_ == WatchState::Impossible)
            return false;
        const ULONGLONG now = GetTickCount64();
        if (state_ == WatchState::NotArmed && now < nextArming_)
            return false;
        debugLog.valid = false;
        driverLog.valid = false;
        ++generation_;
        state_ = watch_.arm(kWatchedKeys);
        nextArming_ = now + kRearmMilliseconds;
        return state_ == WatchState::Armed;
    }

    SRWLOCK lock_ = SRWLOCK_INIT;
    RegistryWatch watch_;
    WatchState state_ = WatchState::NotArmed;
    ULONGLONG nextArming_ = 0;
    unsigned long long generation_ = 0;

public:
    KeptPath debugLog{kLogPathChars, debugLogText, counted<resolveDebugLog>};
    KeptPath driverLog{static_cast<DWORD>(kDriverPathChars), driverLogText, counted<resolveDriverLog>};
};

// Never destroyed: at process exit a thread may still write a line. The
// module's unloading releases its watches instead.
union CacheStorage {
    LogPathCache paths;
    constexpr CacheStorage() : paths() {}
    ~CacheStorage() {}
};
constinit CacheStorage cache;

}  // namespace

namespace vr::trace {

PathLookup logPath(LogFile log, wchar_t* path, DWORD capacity, bool afresh) noexcept
{
    if (path == nullptr || capacity == 0)
        return {};
    LogPathCache& paths = cache.paths;
    return paths.find(log == LogFile::Debug ? paths.debugLog : paths.driverLog, path, capacity, afresh);
}

void releaseLogPaths() noexcept { cache.paths.release(); }

unsigned long logPathResolutions() noexcept { return resolutions.load(std::memory_order_relaxed); }

void setThreadUserLookup(TokenUserLookup lookup) noexcept { threadUserLookup = lookup != nullptr ? lookup : tokenUser; }

}  // namespace vr::trace

extern "C" int DBG_DriverLogPath(wchar_t* buffer, DWORD capacity)
{
    return vr::trace::logPath(vr::trace::LogFile::Driver, buffer, capacity).found ? 1 : 0;
}
