// The named logging semaphore that the product's components share, per module
// tag, for DBG_Lock and DBG_Unlock: DBG_Lock waits up to 5 seconds for it and
// excludes other DBG_Lock callers only. Tracing never takes it (the list of
// contexts has the process's own lock), so a thread that died holding it (a
// crashed component, a process ended mid-trace) costs tracing nothing.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "trace/logging_semaphore.h"

#include "platform/handles.h"
#include "trace/module_lifetime.h"
#include "trace/tracer_seams.h"
#include "vrc_trace.h"

namespace {

using namespace vr::trace;

// A semaphore that could not be opened (its creator's security shuts this
// process out) is not asked for again for this long.
constexpr ULONGLONG kOpenRetryMilliseconds = 10000;
constexpr DWORD kLockTimeoutMilliseconds = 5000;

// The logging semaphore's name for a module tag.
struct SemaphoreName {
    wchar_t text[128];
    bool valid;
};

SemaphoreName semaphoreName(const char* tag)
{
    SemaphoreName name{};
    name.valid = std::swprintf(name.text, 128, L"Veranto 6.2_%hs_LoggingSemaphore", tag) >= 0;
    return name;
}

// The logging semaphore, opened once per module tag and kept open until the
// module unloads: creating a named object for every lock would cost a kernel
// call each time. A handle opened for an earlier tag stays open too,
// so that a thread holding it can still give it back. Past kKeptSemaphores
// tags a semaphore is opened for each lock and closed by DBG_Unlock.
struct KeptSemaphore {
    const char* tag;  // DbgModuleTag when it was opened, and its text
    char tagText[64];
    HANDLE handle;
};
constexpr std::size_t kKeptSemaphores = 8;
KeptSemaphore keptSemaphores[kKeptSemaphores];
std::atomic<std::size_t> keptSemaphoreCount{0};
SRWLOCK semaphoreOpening = SRWLOCK_INIT;
std::atomic<KeptSemaphore*> keptSemaphore{nullptr};

// The last tag whose semaphore could not be opened, and until when it is not
// asked for again. Guarded by semaphoreOpening.
struct FailedOpen {
    const char* tag;
    char tagText[64];
    ULONGLONG retryAt;
    DWORD error;
};
FailedOpen failedOpen{};

HANDLE createSemaphore(const wchar_t* name) { return CreateSemaphoreW(nullptr, 1, 1, name); }
std::atomic<SemaphoreOpener> semaphoreOpener{createSemaphore};

template <class Record>
bool sameTag(const Record& record, const char* tag)
{
    return record.tag == tag && std::strncmp(record.tagText, tag, sizeof record.tagText) == 0;
}

template <class Record>
void rememberTag(Record& record, const char* tag)
{
    record.tag = tag;
    std::strncpy(record.tagText, tag, sizeof record.tagText - 1);
    record.tagText[sizeof record.tagText - 1] = '\0';
}

HANDLE openSemaphore(const char* tag)
{
    if (const KeptSemaphore* kept = keptSemaphore.load(std::memory_order_acquire);
        kept != nullptr && sameTag(*kept, tag))
        return kept->handle;
    if (sameTag(failedOpen, tag) && GetTickCount64() < failedOpen.retryAt) {
        SetLastError(failedOpen.error);
        return nullptr;
    }
    const SemaphoreName name = semaphoreName(tag);
    if (!name.valid)
        return nullptr;
    HANDLE semaphore = semaphoreOpener.load()(name.text);
    if (semaphore == nullptr) {
        rememberTag(failedOpen, tag);
        failedOpen.error = GetLastError();
        failedOpen.retryAt = GetTickCount64() + kOpenRetryMilliseconds;
        SetLastError(failedOpen.error);
        return nullptr;
    }
    const std::size_t count = keptSemaphoreCount.load(std::memory_order_relaxed);
    if (count == kKeptSemaphores || runtimeReleased())
        return semaphore;  // not kept: DBG_Unlock closes it
    KeptSemaphore& kept = keptSemaphores[count];
    rememberTag(kept, tag);
    kept.handle = semaphore;
    keptSemaphoreCount.store(count + 1, std::memory_order_release);
    keptSemaphore.store(&kept, std::memory_order_release);
    return semaphore;
}

const char* currentTag() { return DbgModuleTag != nullptr ? DbgModuleTag : ""; }

HANDLE loggingSemaphore(const char* tag)
{
    if (const KeptSemaphore* kept = keptSemaphore.load(std::memory_order_acquire);
        kept != nullptr && sameTag(*kept, tag))
        return kept->handle;
    // While the process exits, a thread killed holding this lock never gives
    // it back: go on without the semaphore then.
    if (processExiting()) {
        if (!TryAcquireSRWLockExclusive(&semaphoreOpening))
            return nullptr;
    } else {
        AcquireSRWLockExclusive(&semaphoreOpening);
    }
    HANDLE semaphore = openSemaphore(tag);
    ReleaseSRWLockExclusive(&semaphoreOpening);
    return semaphore;
}

bool isKeptOpen(HANDLE semaphore)
{
    const std::size_t count = keptSemaphoreCount.load(std::memory_order_acquire);
    for (std::size_t i = 0; i < count; ++i)
        if (keptSemaphores[i].handle == semaphore)
            return true;
    return false;
}

void closeUnlessKept(HANDLE semaphore)
{
    if (!isKeptOpen(semaphore))
        CloseHandle(semaphore);
}

}  // namespace

namespace vr::trace {

void releaseKeptSemaphores() noexcept
{
    keptSemaphore.store(nullptr);
    for (std::size_t i = keptSemaphoreCount.exchange(0); i > 0; --i)
        CloseHandle(keptSemaphores[i - 1].handle);
}

void setSemaphoreOpener(SemaphoreOpener opener) noexcept
{
    semaphoreOpener = opener != nullptr ? opener : createSemaphore;
    AcquireSRWLockExclusive(&semaphoreOpening);
    failedOpen = {};
    ReleaseSRWLockExclusive(&semaphoreOpening);
}

}  // namespace vr::trace

extern "C" HANDLE DBG_Lock(void)
{
    const char* tag = currentTag();
    HANDLE semaphore = loggingSemaphore(tag);
    char message[512];
    if (semaphore == nullptr) {
        // Never through the tracer: every tracing call takes this lock.
        std::snprintf(message, sizeof message, "TRACE ERROR: could not create semaphore!\nGetLastError() == %d",
                      static_cast<int>(GetLastError()));
        OutputDebugStringA(message);
        return nullptr;
    }
    // A thread killed by the process's exit while it held the semaphore never
    // gives it back: an exiting process does not wait for it.
    if (WaitForSingleObject(semaphore, processExiting() ? 0 : kLockTimeoutMilliseconds) != WAIT_OBJECT_0) {
        const DWORD error = GetLastError();
        std::snprintf(message, sizeof message,
                      "TRACE ERROR: could not get signal from semaphore!\nMost likely exceed our 5 second timeout on "
                      "the %ls semaphore.\nGetLastError() == %d",
                      semaphoreName(tag).text, static_cast<int>(error));
        OutputDebugStringA(message);
        // Not ours to release: go on unlocked.
        closeUnlessKept(semaphore);
        return nullptr;
    }
    return semaphore;
}

extern "C" void DBG_Unlock(HANDLE semaphore)
{
    if (semaphore == nullptr)
        return;
    ReleaseSemaphore(semaphore, 1, nullptr);
    closeUnlessKept(semaphore);
}
