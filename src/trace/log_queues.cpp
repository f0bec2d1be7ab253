// The lines that threads of this process hand to one log at the same time.
// One thread at a time writes for a log: the lines others hand it meanwhile
// wait in its queue, and the next writer appends all of those for its file in
// one open and as few writes as it can, in the order they came. Each waiting
// thread returns once its own line is in the file (or is lost), so a line is
// in its log when the tracing call returns and nothing is kept across calls.
//
// The queue's entries live on the waiting threads' stacks and its lock and
// condition are static. What a log keeps between batches (lines that could
// not be written yet, the count of those lost) is in the queue's backlogs,
// released when the module unloads. Once the process has begun to exit, the
// threads that could hold a queue are gone or about to be: a line traced then
// is written directly and alone, never waiting for the queue, and nothing is
// kept for it. Once the runtime has let go, a line still goes through its
// queue but is written or lost, never kept: nothing is allocated that no one
// would free. Either way a log found held makes only the first such line wait.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <utility>

#include "trace/log_queues.h"

#include "platform/handles.h"
#include "trace/log_files.h"
#include "trace/module_lifetime.h"

namespace {

using namespace vr::trace;

// Enough for a batch of a few hundred ordinary lines in one write.
constexpr std::size_t kBatchBytes = 32768;
// Logs of one queue that can keep lines at the same time: the debug and
// driver logs have one path at a time, the caller's files share the last.
constexpr std::size_t kBacklogs = 4;

struct LineQueue {
    SRWLOCK lock;
    CONDITION_VARIABLE written;
    PendingLine* first;
    PendingLine* last;
    bool writing;  // a thread is appending a batch taken from this queue
    char batch[kBatchBytes];  // used by that thread only
    LogBacklog backlogs[kBacklogs];  // likewise
};

LineQueue queues[kLogCount] = {};
// For each queue: whether its log was found held by a line written without
// a backlog. Static, so that nothing needs releasing.
std::atomic<bool> heldBare[kLogCount] = {};

bool keepsNothing(const LogBacklog& backlog)
{
    return backlog.keptBytes == 0 && backlog.lost == 0 && !backlog.held && !backlog.rotation.putOff() && !backlog.torn;
}

void freeBacklog(LogBacklog& backlog)
{
    std::free(backlog.path);
    std::free(backlog.kept);
    backlog = {};
}

// The backlog of the log at `path`, taken from one that keeps nothing when
// the log has none yet; null when every one keeps something for another log.
LogBacklog* backlogFor(LineQueue& queue, const wchar_t* path)
{
    if (runtimeReleased())
        return nullptr;
    LogBacklog* spare = nullptr;
    for (LogBacklog& backlog : queue.backlogs) {
        if (backlog.path != nullptr && std::wcscmp(backlog.path, path) == 0)
            return &backlog;
        if (spare == nullptr && (backlog.path == nullptr || keepsNothing(backlog)))
            spare = &backlog;
    }
    if (spare == nullptr)
        return nullptr;
    const std::size_t bytes = (std::wcslen(path) + 1) * sizeof(wchar_t);
    auto* copy = static_cast<wchar_t*>(std::malloc(bytes));
    if (copy == nullptr)
        return nullptr;
    std::memcpy(copy, path, bytes);
    char* const kept = std::exchange(spare->kept, nullptr);
    freeBacklog(*spare);
    spare->kept = kept;  // the buffer serves the next log as well
    spare->path = copy;
    return spare;
}

// Takes out of the queue, in their order, the lines waiting for `path`;
// lines for another file stay for a later batch.
PendingLine* takeLinesFor(LineQueue& queue, const wchar_t* path)
{
    PendingLine *taken = nullptr, *takenLast = nullptr, *kept = nullptr, *keptLast = nullptr;
    for (PendingLine* line = queue.first; line != nullptr;) {
        PendingLine* const next = line->next;
        line->next = nullptr;
        const bool same = std::wcscmp(line->path, path) == 0;
        PendingLine*& last = same ? takenLast : keptLast;
        (last != nullptr ? last->next : (same ? taken : kept)) = line;
        last = line;
        line = next;
    }
    queue.first = kept;
    queue.last = keptLast;
    return taken;
}

}  // namespace

namespace vr::trace {

Appended appendToFile(Log log, const wchar_t* path, const char* text, const BatchStamp& stamp)
{
    PendingLine own{path, text, static_cast<DWORD>(std::strlen(text))};
    if (processExiting()) {
        // Alone, unbuffered, nothing kept and no rotation.
        appendLines(path, &own, nullptr, 0, nullptr, &heldBare[static_cast<int>(log)], stamp);
        return own.appended;
    }
    LineQueue& queue = queues[static_cast<int>(log)];
    AcquireSRWLockExclusive(&queue.lock);
    if (queue.last != nullptr)
        queue.last->next = &own;
    else
        queue.first = &own;
    queue.last = &own;
    while (!own.written) {
        if (queue.writing) {
            SleepConditionVariableSRW(&queue.written, &queue.lock, INFINITE, 0);
            continue;
        }
        // This thread writes for the log: its own line and every line waiting
        // for the same file. It writes one batch only, its own line being in it.
        PendingLine* const batch = takeLinesFor(queue, path);
        queue.writing = true;
        ReleaseSRWLockExclusive(&queue.lock);
        appendLines(path, batch, queue.batch, sizeof queue.batch, backlogFor(queue, path),
                    &heldBare[static_cast<int>(log)], stamp);
        AcquireSRWLockExclusive(&queue.lock);
        for (PendingLine* line = batch; line != nullptr;) {
            PendingLine* const next = line->next;  // the entry goes with its thread once written
            line->written = true;
            line = next;
        }
        queue.writing = false;
        WakeAllConditionVariable(&queue.written);
    }
    ReleaseSRWLockExclusive(&queue.lock);
    return own.appended;
}

void releaseLogQueues() noexcept
{
    for (LineQueue& queue : queues)
        for (LogBacklog& backlog : queue.backlogs)
            freeBacklog(backlog);
}

}  // namespace vr::trace
