// The log paths, resolved once and kept while nothing they depend on changes:
// the settings keys of both hives (DriverLogFile, UserPath, Server), the
// machine environment (NVS_DATA_ROOT, NVS_DATA_LOGS) and the shell's folder
// keys. A log folder removed since shows when the log cannot be opened for
// want of its folder: the writer then asks for the path afresh, which makes
// the folder again. So a line always goes where a fresh resolution would send
// it at that moment.
//
// These are the paths of the process's own user; a thread impersonating
// another user is served from that user's paths (user_log_paths.cpp).
#include "trace/log_paths.h"

#include <atomic>

#include "platform/current_user_hive.h"
#include "platform/platform_seams.h"
#include "platform/thread_user.h"
#include "settings/core/settings_rules.h"
#include "trace/kept_paths.h"
#include "trace/module_lifetime.h"
#include "trace/tracer_seams.h"
#include "trace/user_log_paths.h"

namespace {

using namespace vr::trace;
using vr::platform::RunsAs;
using vr::platform::ThreadUser;
using vr::settings::kEnvironmentKey;

// Arms the watches of the process's own user's paths. In a service
// HKEY_CURRENT_USER is mapped to whichever user first touched it, perhaps a
// job's user: the hive is opened with RegOpenCurrentUser on this thread,
// which runs as the process's user, and closed again once the keys under it
// are watched. The settings and the environment are read in the 64-bit view
// whenever the process runs under WOW64, which is the only view there is in
// every other process: they are watched in that view always. The shell reads
// its keys in the process's own view.
WatchState armAsProcessUser(RegistryWatch& watch) noexcept
{
    const vr::platform::CurrentUserHive hive = vr::platform::openCurrentUserHive();
    if (hive.status != ERROR_SUCCESS)
        return WatchState::NotArmed;
    const WatchedKey keys[] = {
        {hive.key.get(), kSettingsKey, KEY_WOW64_64KEY},
        {HKEY_LOCAL_MACHINE, kSettingsKey, KEY_WOW64_64KEY},
        {HKEY_LOCAL_MACHINE, kEnvironmentKey, KEY_WOW64_64KEY},
        {hive.key.get(), kShellFoldersKey, 0},
        {HKEY_LOCAL_MACHINE, kShellFoldersKey, 0},
    };
    return watch.arm(keys);
}

Resolver resolverOf(Log log) noexcept { return log == Log::Debug ? resolveDebugLog : resolveDriverLog; }

wchar_t debugLogText[kLogPathChars];
wchar_t driverLogText[kDriverPathChars];

// Paths are resolved into the caller's buffer with no lock held, since the
// folder routines load libraries and make folders: a thread tracing from a
// DllMain must not wait for one that waits for the loader, and a thread killed
// mid-resolution leaves no lock behind. The lock only guards the kept texts
// and the watches; a resolution is kept only if nothing changed while it ran.
class LogPathCache {
public:
    PathLookup find(Log log, wchar_t* path, DWORD capacity, bool afresh) noexcept
    {
        // Once the module has given back what it held, or while the process
        // exits, the loader lock is held: resolving would read the registry,
        // ask the shell and make folders under it. Only a path kept before
        // serves then; without one the line goes nowhere.
        if (vr::trace::runtimeReleased() || processExiting())
            return keptOnly(log, path, capacity, afresh);
        if (capacity != paths_.of(log).capacity)
            return {resolverOf(log)(path, capacity).found, false};
        // Whose thread it is, a call into the system, is asked outside the
        // lock and only when the answer matters: for a path that depends on
        // the user, or to arm the watches.
        ThreadUser user;
        bool known = false;
        if (perUserHint(log).load(std::memory_order_relaxed)) {
            user = vr::platform::threadUser();
            known = true;
            if (user.runsAs == RunsAs::OtherUser)
                return userLogPath(user, log, path, capacity, afresh, false);
        }
        bool hold = false;
        unsigned long long generation = 0;
        for (;;) {
            AcquireSRWLockExclusive(&lock_);
            hold = paths_.hold();
            const KeptPath& kept = paths_.of(log);
            if (!known && (!hold || (kept.valid && kept.perUser))) {
                ReleaseSRWLockExclusive(&lock_);
                user = vr::platform::threadUser();
                known = true;
                if (user.runsAs == RunsAs::OtherUser)
                    return userLogPath(user, log, path, capacity, afresh, false);
                continue;
            }
            // Only a thread running as the process's user arms the watches.
            if (!hold)
                hold = paths_.rearm(user.runsAs == RunsAs::ProcessUser, armAsProcessUser);
            const bool earlier = hold && !afresh && kept.copyTo(path, capacity);
            generation = paths_.generation();
            ReleaseSRWLockExclusive(&lock_);
            if (earlier)
                return {true, true};
            break;
        }

        const Resolution resolution = resolverOf(log)(path, capacity);
        perUserHint(log).store(resolution.perUser, std::memory_order_relaxed);
        if (resolution.perUser && !known)
            user = vr::platform::threadUser();
        // A path in the thread's user's folder is kept for the process's user alone.
        if (hold && (!resolution.perUser || user.runsAs == RunsAs::ProcessUser)) {
            AcquireSRWLockExclusive(&lock_);
            if (paths_.generation() == generation)
                paths_.of(log).keep(resolution, path);
            ReleaseSRWLockExclusive(&lock_);
        }
        return {resolution.found, false};
    }

    // Drops the watches' keys and events; the module is going away. The kept
    // texts stay, in static storage, for lines traced after this.
    void release() noexcept
    {
        AcquireSRWLockExclusive(&lock_);
        paths_.release(true);
        ReleaseSRWLockExclusive(&lock_);
    }

private:
    // The kept path as it is, with no watch asked and nothing resolved; a
    // thread killed while it held the lock leaves none to serve.
    PathLookup keptOnly(Log log, wchar_t* path, DWORD capacity, bool afresh) noexcept
    {
        if (afresh)
            return {};
        const ThreadUser user = vr::platform::threadUser();
        if (user.runsAs == RunsAs::OtherUser)
            return userLogPath(user, log, path, capacity, afresh, true);
        if (!TryAcquireSRWLockExclusive(&lock_))
            return {};
        const KeptPath& kept = paths_.of(log);
        const bool found = (!kept.perUser || user.runsAs == RunsAs::ProcessUser) && kept.copyTo(path, capacity);
        ReleaseSRWLockExclusive(&lock_);
        return {found, found};
    }

    // Whether the path last resolved depended on the thread's user, read
    // without the lock.
    std::atomic<bool>& perUserHint(Log log) noexcept { return log == Log::Debug ? debugPerUser_ : driverPerUser_; }

    SRWLOCK lock_ = SRWLOCK_INIT;
    KeptPaths paths_{debugLogText, kLogPathChars, driverLogText, kDriverPathChars};
    std::atomic<bool> debugPerUser_{false};
    std::atomic<bool> driverPerUser_{false};
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

PathLookup logPath(Log log, wchar_t* path, DWORD capacity, bool afresh) noexcept
{
    if (path == nullptr || capacity == 0)
        return {};
    return cache.paths.find(log, path, capacity, afresh);
}

void releaseLogPaths() noexcept
{
    cache.paths.release();
    releaseUserLogPaths();
}

void setThreadUserLookup(TokenUserLookup lookup) noexcept { vr::platform::setTokenUserLookup(lookup); }

}  // namespace vr::trace

extern "C" int DBG_DriverLogPath(wchar_t* buffer, DWORD capacity)
{
    return vr::trace::logPath(vr::trace::Log::Driver, buffer, capacity).found ? 1 : 0;
}
