// Thread contexts of the tracer and the named semaphore that guards their list.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cwchar>

#include "trace/tracer_internal.h"
#include "vrc_trace.h"

extern "C" {
DBG_CONTEXT* DbgContextList = nullptr;
DBG_CONTEXT DbgFallbackContext = {};
int32_t DbgDeepLevel = vr::trace::DEEP_LEVEL_NOT_ARMED;
uint32_t DbgErrorLatch = 0;
const char* DbgModuleTag = "VRCCLN";
}

namespace {

void* callocContext(std::size_t bytes) { return std::calloc(1, bytes); }
std::atomic<vr::trace::ContextAllocator> contextAllocator{callocContext};

// The fallback context is one record: it is lent to one thread at a time, from
// the call that could not allocate until that thread's level is back at 0, so
// that two threads never build lines in the same buffers. A thread that meets
// it lent out loses its tracing calls until it can allocate or borrow.
std::atomic<DWORD> fallbackBorrower{0};

DBG_CONTEXT* findContext(DWORD threadId)
{
    for (DBG_CONTEXT* c = DbgContextList; c != nullptr; c = c->next)
        if (c->threadId == threadId)
            return c;
    return nullptr;
}

void resetFallback()
{
    DBG_CONTEXT& f = DbgFallbackContext;
    f.guard = 0;
    f.level = 0;
    f.heldEntrySlot = 0;
    f.heldEntryCount = 0;
    f.heldTrcCount = 0;
    f.heldLine[0] = f.lastKey[0] = f.line[0] = '\0';
}

}  // namespace

namespace vr::trace {

void setContextAllocator(ContextAllocator allocator) noexcept
{
    contextAllocator = allocator != nullptr ? allocator : callocContext;
}

}  // namespace vr::trace

extern "C" HANDLE DBG_Lock(void)
{
    wchar_t name[128];
    const int n = std::swprintf(name, 128, L"Veranto 6.2_%hs_LoggingSemaphore", DbgModuleTag);
    if (n < 0)
        return nullptr;
    HANDLE semaphore = CreateSemaphoreW(nullptr, 1, 1, name);
    char message[512];
    if (semaphore == nullptr) {
        // Never through the tracer: every tracing call takes this lock.
        std::snprintf(message, sizeof message, "TRACE ERROR: could not create semaphore!\nGetLastError() == %d",
                      static_cast<int>(GetLastError()));
        OutputDebugStringA(message);
        return nullptr;
    }
    if (WaitForSingleObject(semaphore, 5000) != WAIT_OBJECT_0) {
        std::snprintf(message, sizeof message,
                      "TRACE ERROR: could not get signal from semaphore!\nMost likely exceed our 5 second timeout on "
                      "the %ls semaphore.\nGetLastError() == %d",
                      name, static_cast<int>(GetLastError()));
        OutputDebugStringA(message);
        // Not ours to release: only close it and go on unlocked.
        CloseHandle(semaphore);
        return nullptr;
    }
    return semaphore;
}

extern "C" void DBG_Unlock(HANDLE semaphore)
{
    if (semaphore == nullptr)
        return;
    ReleaseSemaphore(semaphore, 1, nullptr);
    CloseHandle(semaphore);
}

extern "C" void DBG_ProcessColumn(char* destination, DWORD threadId)
{
    char path[MAX_PATH + 1] = {};
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    path[n < MAX_PATH ? n : MAX_PATH] = '\0';
    vr::trace::formatProcessColumn(destination, DBG_TEXT_SIZE, path, GetCurrentProcessId(), threadId);
}

extern "C" DBG_CONTEXT* DBG_GetContext(void)
{
    bool borrowedNow = false;
    return vr::trace::getContext(borrowedNow);
}

DBG_CONTEXT* vr::trace::getContext(bool& borrowedNow)
{
    borrowedNow = false;
    const DWORD threadId = GetCurrentThreadId();
    if (fallbackBorrower.load(std::memory_order_acquire) == threadId)
        return &DbgFallbackContext;

    HANDLE lock = DBG_Lock();
    DBG_CONTEXT* context = findContext(threadId);
    DBG_Unlock(lock);
    if (context != nullptr)
        return context;

    context = static_cast<DBG_CONTEXT*>(contextAllocator.load()(sizeof(DBG_CONTEXT)));
    if (context == nullptr) {
        DWORD idle = 0;
        if (!fallbackBorrower.compare_exchange_strong(idle, threadId, std::memory_order_acq_rel))
            return nullptr;
        resetFallback();
        DBG_ProcessColumn(DbgFallbackContext.processColumn, threadId);
        borrowedNow = true;
        return &DbgFallbackContext;
    }
    context->level = 0;
    context->threadId = threadId;
    DBG_ProcessColumn(context->processColumn, threadId);

    lock = DBG_Lock();
    context->next = DbgContextList;
    DbgContextList = context;
    DBG_Unlock(lock);
    return context;
}

extern "C" void DBG_ReleaseContext(void)
{
    const DWORD threadId = GetCurrentThreadId();
    if (fallbackBorrower.load(std::memory_order_acquire) == threadId) {
        resetFallback();
        fallbackBorrower.store(0, std::memory_order_release);
        return;
    }
    HANDLE lock = DBG_Lock();
    DBG_CONTEXT* found = nullptr;
    for (DBG_CONTEXT** link = &DbgContextList; *link != nullptr; link = &(*link)->next)
        if ((*link)->threadId == threadId) {
            found = *link;
            *link = found->next;
            break;
        }
    DBG_Unlock(lock);
    std::free(found);
}
