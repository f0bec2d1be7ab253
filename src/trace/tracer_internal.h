// The tracer's own constants, its test seams and the steps its sources share.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/thread_user.h"
#include "trace/core/gap_line.h"
#include "trace/log_rotation.h"
#include "trace/core/trace_context.h"
#include "vrc_trace.h"

namespace vr::trace {

inline constexpr int32_t kDeepLevelNotArmed = 127;
inline constexpr DWORD kLogPathChars = 260;
inline constexpr const char* kErrorBoxCaption = "GPD_DEBUG Error Message";

// Seams for faults and places a test cannot get from the platform: a context
// allocation that fails, the system-modal error box that would block the
// test, a window station nobody sees, a logging semaphore that cannot be
// opened, and a thread running as another user than the process.
using ContextAllocator = void* (*)(std::size_t bytes);
using ErrorBoxHook = void (*)(const char* text);
using WindowStationProbe = bool (*)();
using SemaphoreOpener = HANDLE (*)(const wchar_t* name);
using TokenUserLookup = vr::platform::TokenUserLookup;  // copies the token's user
void setContextAllocator(ContextAllocator allocator) noexcept;  // null restores calloc
void setErrorBoxHook(ErrorBoxHook hook) noexcept;  // null restores MessageBoxA
void setWindowStationProbe(WindowStationProbe probe) noexcept;  // null restores the real station's flags
void setSemaphoreOpener(SemaphoreOpener opener) noexcept;  // null restores CreateSemaphoreW
void setThreadUserLookup(TokenUserLookup lookup) noexcept;  // null restores GetTokenInformation

// Seams of the log writer, for what the platform under test will not do:
// a write that comes up short (a full volume), a file that cannot be cut
// back (mapped by another process), and a look at the access a log is opened
// with. Same contracts as WriteFile, SetEndOfFile and CreateFileW.
using LogWrite = BOOL (*)(HANDLE file, const void* bytes, DWORD size, DWORD* written);
using LogOpen = HANDLE (*)(const wchar_t* path, DWORD access, DWORD share, DWORD disposition, DWORD flags);
using LogCut = BOOL (*)(HANDLE file);
void setLogWrite(LogWrite write) noexcept;  // null restores WriteFile
void setLogCut(LogCut cut) noexcept;  // null restores SetEndOfFile
void setLogOpen(LogOpen open) noexcept;  // null restores CreateFileW
// Runs between a writer's first look at a log's size past the limit and its
// reopen of the log to move it, where another writer may move it first.
using RotationRace = void (*)(const wchar_t* path);
void setRotationRace(RotationRace race) noexcept;  // null: nothing runs there

// True while the static destructors run because the module that links the
// runtime is being unloaded; false while the process exits.
bool moduleUnloading() noexcept;
// True once the module has given back what it held for the process.
bool runtimeReleased() noexcept;
// Gives back what the module's unloading gives back (what each part below
// releases); tracing afterwards uses nothing that must be released again.
void releaseRuntime() noexcept;
void releaseContexts() noexcept;
void releaseKeptSemaphores() noexcept;
void releaseLogQueues() noexcept;

// The process's executable path, read once.
const char* executablePath() noexcept;

// DbgDeepLevel and DbgErrorLatch are plain C variables for the components,
// but any thread may write them: inside the runtime they are read and written
// as relaxed atomics.
inline std::atomic_ref<int32_t> deepLevel() noexcept { return std::atomic_ref<int32_t>(DbgDeepLevel); }
inline std::atomic_ref<uint32_t> errorLatch() noexcept { return std::atomic_ref<uint32_t>(DbgErrorLatch); }
inline bool errorLatched() noexcept { return errorLatch().load(std::memory_order_relaxed) == 1; }

// DBG_GetContext, telling also whether this call has just borrowed the
// fallback context (so the thread had none before it).
DBG_CONTEXT* getContext(bool& borrowedNow);
// The context the calling thread already has (its own, one left in the list
// by an ended thread of the same identifier, or the fallback it borrowed);
// null when it has none. Never creates one.
DBG_CONTEXT* existingContext();

// A tracing call's use of its thread's context: once the call ends at level 0
// with no other operation of the thread running, the context goes back.
// Declared before the call's GuardBit, so that the bit is clear by then.
class ContextInUse {
public:
    explicit ContextInUse(DBG_CONTEXT& context) noexcept : context_(context) {}
    ~ContextInUse()
    {
        if (context_.level == 0 && context_.guard == 0)
            DBG_ReleaseContext();
    }
    ContextInUse(const ContextInUse&) = delete;
    ContextInUse& operator=(const ContextInUse&) = delete;

private:
    DBG_CONTEXT& context_;
};

// Keeps the caller's last error across a call that must not change it.
class LastErrorKept {
public:
    LastErrorKept() noexcept : error_(GetLastError()) {}
    ~LastErrorKept() { SetLastError(error_); }
    LastErrorKept(const LastErrorKept&) = delete;
    LastErrorKept& operator=(const LastErrorKept&) = delete;

private:
    DWORD error_;
};

// Whether the list holds a context for the thread, walked under its locks.
bool contextListed(DWORD threadId);

// The writer's steps on a context already in hand.
void routeInContext(DBG_CONTEXT& context, const char* line, uint32_t mask);
void errorReportInContext(DBG_CONTEXT& context, const char* text);
bool buildLineInContext(DBG_CONTEXT& context, const char* text, const char* sourceFile, int sourceLine, uint32_t mask);
const Writer& heldLineWriter();

// Appends text to the file at path (created when missing, never emptied) and
// moves a log that was past the rotation size before the append to its backup.
enum class Appended {
    Done,
    Kept,  // the file cannot be written now: the text waits for the next batch that gets in
    Lost,  // the file could not be opened or written: the text is lost
    NoFolder  // the file's folder does not exist
};

// The logs whose lines the threads of a process hand on to one writer at a
// time; lines for files named by the caller share the last, grouped by file.
enum class LogQueue { Debug, Driver, Named, Count };

// Returns once the text is in the file or lost. While another thread of this
// process appends to the same log, the text waits and that thread (or the
// next) appends it with the others in one open.
Appended appendToFile(LogQueue log, const wchar_t* path, const char* text);

// True once the process has begun to exit: its other threads may have been
// ended anywhere, holding any lock, so nothing may wait for one then.
bool processExiting() noexcept;

// One line waiting for its file, on the stack of the thread that traces it.
struct PendingLine {
    const wchar_t* path;
    const char* text;
    DWORD length;
    Appended appended = Appended::Lost;
    PendingLine* next = nullptr;
    bool written = false;  // appended holds the outcome
};

// What one process keeps for one log between its batches: the lines that
// could not be written yet (at most kKeptBytes), how many were lost and why,
// whether another program holds the log, and when a rename that failed is
// tried again. Touched only by the thread writing for the log.
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
                 std::atomic<bool>* heldBare);

}  // namespace vr::trace
