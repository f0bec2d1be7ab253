// The queues through which the threads of a module hand their lines to one
// writer per log. Above the log files, beside the log paths.
#pragma once

#include "trace/core/trace_context.h"
#include "trace/log_files.h"

namespace vr::trace {

// Returns once the text is in the file or lost. While another thread of this
// module appends to the same log, the text waits and that thread (or the
// next) appends it with the others in one open. Lines for files named by the
// caller (Log::Named) share one queue, grouped by file.
Appended appendToFile(Log log, const wchar_t* path, const char* text, const BatchStamp& stamp);

// Frees the lines kept for the logs, when the module unloads.
void releaseLogQueues() noexcept;

}  // namespace vr::trace
