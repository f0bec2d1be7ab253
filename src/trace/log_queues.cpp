// The lines that threads of this process hand to one log at the same time.
// One thread at a time writes for a log: the lines others hand it meanwhile
// wait in its queue, and the next writer appends all of those for its file in
// one open and as few writes as it can, in the order they came. Each waiting
// thread returns once its own line is in the file (or is lost), so a line is
// in its log when the tracing call returns and nothing is kept across calls.
//
// The queue's entries live on the waiting threads' stacks and its lock and
// condition are static: there is nothing to allocate, and nothing to release
// when the module unloads. Once the process has begun to exit, the threads
// that could hold a queue are gone or about to be: a line traced then is
// written directly, never waiting for the queue.
#include <atomic>
#include <cstring>
#include <cwchar>

#include "platform/handles.h"
#include "trace/tracer_internal.h"

namespace {

using namespace vr::trace;

// Enough for a batch of a few hundred ordinary lines in one write.
constexpr std::size_t kBatchBytes = 32768;

struct LineQueue {
    SRWLOCK lock;
    CONDITION_VARIABLE written;
    PendingLine* first;
    PendingLine* last;
    bool writing;  // a thread is appending a batch taken from this queue
    char batch[kBatchBytes];  // used by that thread only
};

LineQueue queues[static_cast<int>(LogQueue::Count)] = {};

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

Appended appendToFile(LogQueue log, const wchar_t* path, const char* text)
{
    PendingLine own{path, text, static_cast<DWORD>(std::strlen(text))};
    if (processExiting()) {
        // Alone, unbuffered, and without the rotation's allocation.
        appendLines(path, &own, nullptr, 0, false);
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
        appendLines(path, batch, queue.batch, sizeof queue.batch, true);
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

}  // namespace vr::trace
