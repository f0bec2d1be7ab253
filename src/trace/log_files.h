// The log files: appending a batch of lines in one open, keeping what cannot
// be written now, and rotating through LogRotation. Beneath the queues; it
// knows nothing of contexts or of where the logs are.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>

#include "trace/core/gap_line.h"
#include "trace/log_rotation.h"

namespace vr::trace {

enum class Appended {
    Done,
    Kept,  // the file cannot be written now: the text waits for the next batch that gets in
    Lost,  // the file could not be opened or written: the text is lost
    NoFolder  // the file's folder does not exist
};

// One line waiting for its file, on the stack of the thread that traces it.
struct PendingLine {
    const wchar_t* path;
    const char* text;
    DWORD length;
    Appended appended = Appended::Lost;
    PendingLine* next = nullptr;
    bool written = false;  // appended holds the outcome
};

// What the line that counts lost lines is stamped with: the module's tag,
// the process column of the thread writing the batch, and the time (taken
// when the line is written).
struct BatchStamp {
    const char* moduleTag;
    const char* processColumn;
    char* (*timestamp)(char* buffer);  // 24 characters with the terminator
};

// What one process keeps for one log between its batches: the lines that
// could not be written yet (at most kKeptBytes), how many were lost and why,
// whether another program holds the log, a piece left torn, and the log's
// rotation. Touched only by the thread writing for the log.
inline constexpr std::size_t kKeptBytes = 65536;
struct LogBacklog {
    wchar_t* path;  // heap copy; null while the record is free
    char* kept;  // kKeptBytes, allocated when first needed
    std::size_t keptBytes;
    unsigned long lost;
    LossCause cause;
    bool held;  // the last open waited its whole second for another program
    bool torn;  // a short write could not be cut back: the log ended at tornAt with a piece
    LONGLONG tornAt;  // -1: not known
    LogRotation rotation;
};

// Appends the lines, all for `path`, in their order in one open of the file,
// gathered in the buffer (none: one write per line), after any kept lines,
// and records each line's outcome; rotates the log when it may. Without a
// backlog (while the process exits, or once the runtime has let go) nothing
// is kept and nothing rotated: heldBare then tells whether the log was found
// held before, so that only the first line waits for it.
void appendLines(const wchar_t* path, PendingLine* lines, char* buffer, std::size_t capacity, LogBacklog* backlog,
                 std::atomic<bool>* heldBare, const BatchStamp& stamp);

}  // namespace vr::trace
