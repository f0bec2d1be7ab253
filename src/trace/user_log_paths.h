// The log paths of the users whose jobs the process's threads run as (a
// spooler impersonates the user of each job): kept for a few users at a time,
// each watched in that user's own hive.
#pragma once

#include <windows.h>

#include "platform/thread_user.h"
#include "trace/log_paths.h"

namespace vr::trace {

// The path for a thread running as user (another user than the process's).
// keptOnly: nothing may be resolved or armed (the loader lock is held).
PathLookup userLogPath(const platform::ThreadUser& user, Log log, wchar_t* path, DWORD capacity, bool afresh,
                       bool keptOnly) noexcept;

// Stops the sweeps, waits for one in progress and closes every key held in
// the users' hives, when the module unloads.
void releaseUserLogPaths() noexcept;

// A user's keys are closed once no line of that user has asked for a path
// for this long, so that the user's profile can unload after its jobs.
inline constexpr ULONGLONG kUserIdleMilliseconds = 2000;

}  // namespace vr::trace
