// The two log paths as resolved for one user, kept while the registry watches
// armed for them report no change.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cwchar>

#include "trace/log_path_resolution.h"
#include "trace/log_paths.h"
#include "trace/registry_watch.h"

namespace vr::trace {

// Watches that could not be armed are asked for again at most this often.
inline constexpr ULONGLONG kRearmMilliseconds = 1000;

struct KeptPath {
    const DWORD capacity;  // the capacity the writer asks with: any other is resolved afresh
    wchar_t* const text;
    const std::size_t room;  // characters text holds: a longer path is not kept
    bool valid = false;
    bool perUser = false;
    std::size_t length = 0;

    bool copyTo(wchar_t* path, DWORD pathCapacity) const noexcept
    {
        if (!valid || length >= pathCapacity)
            return false;
        std::wmemcpy(path, text, length + 1);
        return true;
    }
    void keep(const Resolution& resolution, const wchar_t* path) noexcept
    {
        length = resolution.found ? std::wcslen(path) : 0;
        valid = resolution.found && resolution.keepable && length < room;
        perUser = resolution.perUser;
        if (valid)
            std::wmemcpy(text, path, length + 1);
    }
};

// Used under its owner's lock.
class KeptPaths {
public:
    constexpr KeptPaths(wchar_t* debugText, std::size_t debugRoom, wchar_t* driverText, std::size_t driverRoom) noexcept
        : debugLog_{kLogPathChars, debugText, debugRoom}, driverLog_{static_cast<DWORD>(kDriverPathChars), driverText,
                                                                     driverRoom}
    {}

    KeptPath& of(Log log) noexcept { return log == Log::Debug ? debugLog_ : driverLog_; }

    // True while every watch is armed and nothing watched has changed.
    bool hold() const noexcept { return state_ == WatchState::Armed && !watch_.changed(); }

    // When they do not hold: forgets both paths (a newer generation) and, if
    // this thread may, arms the watches again before the paths are resolved,
    // so that a change made during a resolution is seen by the next line.
    // arm(RegistryWatch&) returns the watch's state.
    template <class Arm>
    bool rearm(bool mayArm, Arm arm) noexcept
    {
        forget();
        if (state_ == WatchState::Impossible)
            return false;
        const ULONGLONG now = GetTickCount64();
        if (!mayArm) {
            // The next thread that may arm them does so at once.
            if (state_ == WatchState::Armed)
                nextArming_ = 0;
            state_ = WatchState::NotArmed;
            return false;
        }
        if (state_ == WatchState::NotArmed && now < nextArming_)
            return false;
        state_ = arm(watch_);
        nextArming_ = now + kRearmMilliseconds;
        return state_ == WatchState::Armed;
    }

    unsigned long long generation() const noexcept { return generation_; }

    // Closes every key and event. Paths that are kept serve only where
    // nothing may be resolved any more (the module is going away); else they
    // are forgotten, since nothing watches them.
    void release(bool keepPaths) noexcept
    {
        watch_.release();
        state_ = WatchState::NotArmed;
        nextArming_ = 0;
        if (!keepPaths)
            forget();
    }

private:
    void forget() noexcept
    {
        debugLog_.valid = false;
        driverLog_.valid = false;
        ++generation_;
    }

    KeptPath debugLog_;
    KeptPath driverLog_;
    RegistryWatch watch_;
    WatchState state_ = WatchState::NotArmed;
    ULONGLONG nextArming_ = 0;
    unsigned long long generation_ = 0;
};

}  // namespace vr::trace
