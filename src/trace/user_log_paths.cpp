// A few users at a time, the least recently used giving its place to a new
// one. Each user's paths are watched through HKEY_USERS\<SID> (that user's
// settings key and shell folders key) and the machine's keys, armed by a
// thread running as that user. A user whose profile is not loaded is watched
// for the profile's loading. Nothing is held in a user's hive longer than
// kUserIdleMilliseconds after the user's last line, so that the profile can
// unload after its jobs: each lookup closes the keys of idle users, and a
// thread-pool timer does once the lines stop. The timer's callback closes
// keys and takes the paths' lock, whose holders never wait for the loader
// lock, so the module's unloading may wait for it under the loader lock.
#include "trace/user_log_paths.h"

#include <cstdio>

#include "settings/core/settings_rules.h"
#include "trace/kept_paths.h"

namespace {

using namespace vr::trace;
using vr::platform::ThreadUser;

constexpr std::size_t kUsers = 4;
// A longer driver log path of a job's user is resolved for every line.
constexpr std::size_t kKeptDriverChars = 1024;
constexpr std::size_t kKeyChars = 256;

struct UserSlot {
    bool used = false;
    bool holding = false;  // keys of the user's watches may be open
    BYTE sid[SECURITY_MAX_SID_SIZE] = {};
    ULONGLONG lastUse = 0;
    unsigned long long owner = 0;  // changes whenever the slot passes to another user
    wchar_t settingsKey[kKeyChars] = {};  // under HKEY_USERS; empty when the SID does not fit
    wchar_t shellFoldersKey[kKeyChars] = {};
    wchar_t debugText[kLogPathChars] = {};
    wchar_t driverText[kKeptDriverChars] = {};
    KeptPaths paths{debugText, kLogPathChars, driverText, kKeptDriverChars};
};

WatchState armAsUser(const UserSlot& slot, RegistryWatch& watch) noexcept
{
    if (slot.settingsKey[0] == L'\0')
        return WatchState::Impossible;
    const WatchedKey keys[] = {
        {HKEY_USERS, slot.settingsKey, KEY_WOW64_64KEY},
        {HKEY_LOCAL_MACHINE, kSettingsKey, KEY_WOW64_64KEY},
        {HKEY_LOCAL_MACHINE, vr::settings::kEnvironmentKey, KEY_WOW64_64KEY},
        {HKEY_USERS, slot.shellFoldersKey, 0},
        {HKEY_LOCAL_MACHINE, kShellFoldersKey, 0},
    };
    return watch.arm(keys);
}

class UserLogPaths {
public:
    PathLookup find(const ThreadUser& user, Log log, wchar_t* path, DWORD capacity, bool afresh, bool keptOnly) noexcept
    {
        if (keptOnly)
            return kept(user, log, path, capacity, afresh);
        const Resolver resolve = log == Log::Debug ? resolveDebugLog : resolveDriverLog;
        if (capacity != (log == Log::Debug ? kLogPathChars : kDriverPathChars))
            return {resolve(path, capacity).found, false};

        AcquireSRWLockExclusive(&lock_);
        const ULONGLONG now = GetTickCount64();
        sweep(now);
        UserSlot& slot = slotFor(user.sid);
        slot.lastUse = now;
        bool hold = slot.paths.hold();
        if (!hold)
            hold = slot.paths.rearm(true, [&slot](RegistryWatch& watch) {
                slot.holding = true;
                return armAsUser(slot, watch);
            });
        const bool earlier = hold && !afresh && slot.paths.of(log).copyTo(path, capacity);
        const unsigned long long generation = slot.paths.generation();
        const unsigned long long owner = slot.owner;
        scheduleSweep(kUserIdleMilliseconds);
        ReleaseSRWLockExclusive(&lock_);
        if (earlier)
            return {true, true};

        const Resolution resolution = resolve(path, capacity);
        if (hold) {
            AcquireSRWLockExclusive(&lock_);
            if (slot.owner == owner && slot.paths.generation() == generation)
                slot.paths.of(log).keep(resolution, path);
            ReleaseSRWLockExclusive(&lock_);
        }
        return {resolution.found, false};
    }

    void release() noexcept
    {
        AcquireSRWLockExclusive(&lock_);
        released_ = true;
        PTP_TIMER timer = timer_;
        timer_ = nullptr;
        ReleaseSRWLockExclusive(&lock_);
        if (timer != nullptr) {
            // Stops the timer, cancels a sweep not yet started and waits for
            // one in progress, which must not run on in code being unloaded.
            SetThreadpoolTimer(timer, nullptr, 0, 0);
            WaitForThreadpoolTimerCallbacks(timer, TRUE);
            CloseThreadpoolTimer(timer);
        }
        AcquireSRWLockExclusive(&lock_);
        for (UserSlot& slot : slots_) {
            slot.paths.release(true);
            slot.holding = false;
        }
        ReleaseSRWLockExclusive(&lock_);
    }

private:
    PathLookup kept(const ThreadUser& user, Log log, wchar_t* path, DWORD capacity, bool afresh) noexcept
    {
        if (afresh || !TryAcquireSRWLockExclusive(&lock_))
            return {};
        bool found = false;
        for (UserSlot& slot : slots_)
            if (slot.used && EqualSid(slot.sid, const_cast<BYTE*>(user.sid))) {
                const KeptPath& keptPath = slot.paths.of(log);
                found = keptPath.capacity == capacity && keptPath.copyTo(path, capacity);
            }
        ReleaseSRWLockExclusive(&lock_);
        return {found, found};
    }

    // The user's slot; else a free one, or the least recently used, given to the user.
    UserSlot& slotFor(const BYTE* sid) noexcept
    {
        UserSlot* chosen = &slots_[0];
        for (UserSlot& slot : slots_) {
            if (slot.used && EqualSid(slot.sid, const_cast<BYTE*>(sid)))
                return slot;
            if (chosen->used && (!slot.used || slot.lastUse < chosen->lastUse))
                chosen = &slot;
        }
        UserSlot& slot = *chosen;
        slot.paths.release(false);
        slot.holding = false;
        slot.used = true;
        slot.owner = ++owners_;
        CopySid(sizeof slot.sid, slot.sid, const_cast<BYTE*>(sid));
        wchar_t name[vr::platform::kSidTextChars];
        const bool named = vr::platform::sidText(sid, name) &&
                           std::swprintf(slot.settingsKey, kKeyChars, L"%ls\\%ls", name, kSettingsKey) > 0 &&
                           std::swprintf(slot.shellFoldersKey, kKeyChars, L"%ls\\%ls", name, kShellFoldersKey) > 0;
        if (!named)
            slot.settingsKey[0] = L'\0';
        return slot;
    }

    // Closes the keys of every user idle for kUserIdleMilliseconds; their
    // paths are forgotten, since nothing watches them any more.
    void sweep(ULONGLONG now) noexcept
    {
        for (UserSlot& slot : slots_)
            if (slot.holding && now - slot.lastUse >= kUserIdleMilliseconds) {
                slot.paths.release(false);
                slot.holding = false;
            }
    }

    // Sets the timer unless it is set; a timer that cannot be made leaves the
    // sweeps to the lookups.
    void scheduleSweep(ULONGLONG afterMilliseconds) noexcept
    {
        if (released_ || timerSet_)
            return;
        if (timer_ == nullptr)
            timer_ = CreateThreadpoolTimer(onTimer, this, nullptr);
        if (timer_ == nullptr)
            return;
        // Relative, in 100-nanosecond units; a little late is as good.
        ULARGE_INTEGER due;
        due.QuadPart = static_cast<ULONGLONG>(-static_cast<LONGLONG>(afterMilliseconds * 10000));
        FILETIME dueTime{due.LowPart, due.HighPart};
        SetThreadpoolTimer(timer_, &dueTime, 0, 500);
        timerSet_ = true;
    }

    static void CALLBACK onTimer(PTP_CALLBACK_INSTANCE, void* context, PTP_TIMER) noexcept
    {
        UserLogPaths& paths = *static_cast<UserLogPaths*>(context);
        AcquireSRWLockExclusive(&paths.lock_);
        paths.timerSet_ = false;
        const ULONGLONG now = GetTickCount64();
        paths.sweep(now);
        // Again when the next user still holding keys turns idle.
        ULONGLONG next = 0;
        for (const UserSlot& slot : paths.slots_)
            if (slot.holding) {
                const ULONGLONG idle = now - slot.lastUse;
                const ULONGLONG left = idle >= kUserIdleMilliseconds ? 1 : kUserIdleMilliseconds - idle;
                next = next == 0 || left < next ? left : next;
            }
        if (next != 0)
            paths.scheduleSweep(next);
        ReleaseSRWLockExclusive(&paths.lock_);
    }

    SRWLOCK lock_ = SRWLOCK_INIT;
    UserSlot slots_[kUsers];
    unsigned long long owners_ = 0;
    PTP_TIMER timer_ = nullptr;
    bool timerSet_ = false;
    bool released_ = false;
};

// Never destroyed, as the process's own paths are not.
union UserStorage {
    UserLogPaths paths;
    constexpr UserStorage() : paths() {}
    ~UserStorage() {}
};
constinit UserStorage users;

}  // namespace

namespace vr::trace {

PathLookup userLogPath(const vr::platform::ThreadUser& user, Log log, wchar_t* path, DWORD capacity, bool afresh,
                       bool keptOnly) noexcept
{
    return users.paths.find(user, log, path, capacity, afresh, keptOnly);
}

void releaseUserLogPaths() noexcept { users.paths.release(); }

}  // namespace vr::trace
