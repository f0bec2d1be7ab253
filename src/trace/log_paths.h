// Where the two logs are: resolved with the folder and settings routines, and
// kept while nothing they were resolved from has changed.
#pragma once

#include <windows.h>

#include "trace/core/trace_context.h"

namespace vr::trace {

inline constexpr DWORD kLogPathChars = 260;  // the debug log's path; the driver log's is kDriverPathChars

struct PathLookup {
    bool found = false;  // false when no folder is found or the path does not fit the capacity
    bool earlier = false;  // taken from an earlier resolution, not resolved for this call
};

// The log's full path (Log::Debug or Log::Driver): for the debug log the log folder's VRCDBG62.LOG, for the
// driver log DriverLogFile when it is set, else the log folder's VRCDRV62.LOG.
// afresh: resolve again even if nothing watched has changed (the log folder
// has gone, and resolving makes it again).
// A thread running as another user than the process (impersonating) resolves
// a path in the user's data folder afresh, and never fills what other threads
// read.
PathLookup logPath(Log log, wchar_t* path, DWORD capacity, bool afresh = false) noexcept;

// Drops the watches kept for the paths, when the module unloads; the paths
// kept until then still serve.
void releaseLogPaths() noexcept;

}  // namespace vr::trace
