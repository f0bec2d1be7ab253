// Thread contexts of the tracer: the list that holds them, the fallback lent
// when one cannot be allocated, and the TLS slot a thread finds its own in.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <utility>

#include "trace/thread_contexts.h"

#include "platform/handles.h"
#include "trace/module_lifetime.h"
#include "trace/tracer_seams.h"
#include "vrc_trace.h"

extern "C" {
DBG_CONTEXT* DbgContextList = nullptr;
DBG_CONTEXT DbgFallbackContext = {};
int32_t DbgDeepLevel = vr::trace::kDeepLevelNotArmed;
uint32_t DbgErrorLatch = 0;
const char* DbgModuleTag = "VRCCLN";
}

// The Windows-free line building repeats the public masks: they must agree.
static_assert(vr::trace::kClassDebugOds == DBG_MASK_DEBUG_ODS && vr::trace::kClassDebugLog == DBG_MASK_DEBUG_LOG &&
              vr::trace::kClassDebugError == DBG_MASK_DEBUG_ERROR && vr::trace::kClassRel == DBG_MASK_REL &&
              vr::trace::kDestLog == DBG_MASK_TO_LOG && vr::trace::kDestOds == DBG_MASK_TO_ODS &&
              vr::trace::kClassTrc == DBG_MASK_TRC);
static_assert(vr::trace::kClassAnyDebug == (DBG_MASK_DEBUG_ODS | DBG_MASK_DEBUG_LOG | DBG_MASK_DEBUG_ERROR));

namespace {

void* callocContext(std::size_t bytes) { return std::calloc(1, bytes); }
std::atomic<vr::trace::ContextAllocator> contextAllocator{callocContext};

// Released contexts kept for reuse. A thread that traces no function gets a
// context for each message and gives it back after it; a fresh block of this
// size costs an allocation and a fault on every page the line touches.
constexpr std::size_t kSpareContexts = 4;
std::atomic<DBG_CONTEXT*> spareContexts[kSpareContexts];

// What a zero-filled context reads as: no counts, no guard bits, and every
// text and name slot empty. A context kept for reuse and the fallback when
// it is given back both start over from here.
void resetContext(DBG_CONTEXT& c)
{
    c.threadId = 0;
    c.guard = 0;
    c.level = 0;
    c.heldEntrySlot = 0;
    c.heldEntryCount = 0;
    c.heldTrcCount = 0;
    c.heldLine[0] = c.processColumn[0] = c.lastKey[0] = c.line[0] = c.message[0] = c.scratch[0] = '\0';
    for (char* slot : c.names)
        slot[0] = '\0';
    c.next = nullptr;
}

DBG_CONTEXT* newContext()
{
    if (vr::trace::runtimeReleased())
        return nullptr;
    const vr::trace::ContextAllocator allocator = contextAllocator.load();
    if (allocator == callocContext)
        for (std::atomic<DBG_CONTEXT*>& spare : spareContexts)
            if (DBG_CONTEXT* reused = spare.exchange(nullptr, std::memory_order_acquire))
                return reused;
    return static_cast<DBG_CONTEXT*>(allocator(sizeof(DBG_CONTEXT)));
}

void retireContext(DBG_CONTEXT* context)
{
    if (context == nullptr)
        return;
    resetContext(*context);
    for (std::atomic<DBG_CONTEXT*>& spare : spareContexts) {
        DBG_CONTEXT* empty = nullptr;
        if (spare.compare_exchange_strong(empty, context, std::memory_order_release, std::memory_order_relaxed))
            return;
    }
    std::free(context);
}

// The context linked for this thread is kept in a TLS slot taken once per
// module. Only the owning thread links or unlinks its context, so while the
// slot holds it the context is in the list and nobody else touches it: the
// thread finds it without walking the list. Without a slot the thread walks
// the list each time.
std::atomic<DWORD> contextSlot{TLS_OUT_OF_INDEXES};

DWORD takeContextSlot()
{
    DWORD slot = contextSlot.load(std::memory_order_acquire);
    if (slot != TLS_OUT_OF_INDEXES || vr::trace::runtimeReleased())
        return slot;
    const DWORD fresh = TlsAlloc();
    if (fresh == TLS_OUT_OF_INDEXES)
        return fresh;
    if (!contextSlot.compare_exchange_strong(slot, fresh, std::memory_order_acq_rel)) {
        TlsFree(fresh);  // another thread published its slot first
        return slot;
    }
    return fresh;
}

DBG_CONTEXT* ownContext()
{
    const DWORD slot = contextSlot.load(std::memory_order_acquire);
    if (slot == TLS_OUT_OF_INDEXES)
        return nullptr;
    // TlsGetValue clears the last error, which the caller may be about to read.
    const DWORD lastError = GetLastError();
    auto* context = static_cast<DBG_CONTEXT*>(TlsGetValue(slot));
    SetLastError(lastError);
    return context;
}

void setOwnContext(DBG_CONTEXT* context)
{
    const DWORD slot = context != nullptr ? takeContextSlot() : contextSlot.load(std::memory_order_acquire);
    if (slot != TLS_OUT_OF_INDEXES)
        TlsSetValue(slot, context);
}

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

// Every walk and change of the list holds this process-local lock. The list
// is the process's own, so the named logging semaphore, which the product's
// components share across processes, guards nothing of it: the tracer does
// not take it, and a holder of it that died or keeps it (DBG_Lock) never
// holds up a tracing call.
SRWLOCK listLock = SRWLOCK_INIT;

class ListGuard {
public:
    ListGuard() : locked_(lockList()) {}
    ~ListGuard()
    {
        if (locked_)
            ReleaseSRWLockExclusive(&listLock);
    }
    ListGuard(const ListGuard&) = delete;
    ListGuard& operator=(const ListGuard&) = delete;

private:
    // While the process exits, its other threads are gone, perhaps killed
    // holding the lock: the one thread left walks the list without it rather
    // than wait for ever.
    static bool lockList()
    {
        if (!vr::trace::processExiting()) {
            AcquireSRWLockExclusive(&listLock);
            return true;
        }
        return TryAcquireSRWLockExclusive(&listLock) != FALSE;
    }

    bool locked_;
};

DBG_CONTEXT* findLinked(DWORD threadId)
{
    const ListGuard guard;
    return findContext(threadId);
}

DBG_CONTEXT* lendFallback(DWORD threadId, bool& borrowedNow)
{
    DWORD idle = 0;
    if (!fallbackBorrower.compare_exchange_strong(idle, threadId, std::memory_order_acq_rel))
        return nullptr;
    resetContext(DbgFallbackContext);
    DBG_ProcessColumn(DbgFallbackContext.processColumn, threadId);
    borrowedNow = true;
    return &DbgFallbackContext;
}

// The executable's path, the same for every context of the process. Read
// once under an INIT_ONCE rather than a guarded local static: the C++ guard
// of a contended static makes synchronisation objects that nothing closes
// when the module unloads.
char executableText[MAX_PATH + 1];
INIT_ONCE executableRead = INIT_ONCE_STATIC_INIT;

BOOL CALLBACK readExecutablePath(INIT_ONCE*, void*, void**)
{
    const DWORD n = GetModuleFileNameA(nullptr, executableText, MAX_PATH);
    executableText[n < MAX_PATH ? n : MAX_PATH] = '\0';
    return TRUE;
}

const char* executablePath() noexcept
{
    InitOnceExecuteOnce(&executableRead, readExecutablePath, nullptr, nullptr);
    return executableText;
}

}  // namespace

namespace vr::trace {

// What the list holds for the whole process, given back when the module that
// links the runtime unloads. No thread runs the module's code any more, so
// nothing is locked; the contexts of threads that are still alive go with the
// module, whose TLS slot is freed too.
void releaseContexts() noexcept
{
    for (std::atomic<DBG_CONTEXT*>& spare : spareContexts)
        std::free(spare.exchange(nullptr));
    for (DBG_CONTEXT* c = std::exchange(DbgContextList, nullptr); c != nullptr;)
        std::free(std::exchange(c, c->next));
    if (const DWORD slot = contextSlot.exchange(TLS_OUT_OF_INDEXES); slot != TLS_OUT_OF_INDEXES)
        TlsFree(slot);
}

void setContextAllocator(ContextAllocator allocator) noexcept
{
    contextAllocator = allocator != nullptr ? allocator : callocContext;
}

}  // namespace vr::trace

extern "C" void DBG_ProcessColumn(char* destination, DWORD threadId)
{
    vr::trace::formatProcessColumn(destination, vr::trace::kTextSize, executablePath(), GetCurrentProcessId(),
                                   threadId);
}

extern "C" DBG_CONTEXT* DBG_GetContext(void)
{
    bool borrowedNow = false;
    return vr::trace::getContext(borrowedNow);
}

bool vr::trace::contextListed(DWORD threadId) { return findLinked(threadId) != nullptr; }

DBG_CONTEXT* vr::trace::existingContext()
{
    if (DBG_CONTEXT* own = ownContext(); own != nullptr)
        return own;
    const DWORD threadId = GetCurrentThreadId();
    if (fallbackBorrower.load(std::memory_order_acquire) == threadId)
        return &DbgFallbackContext;
    // A context left by an ended thread with the same identifier is this thread's now.
    DBG_CONTEXT* context = findLinked(threadId);
    if (context != nullptr)
        setOwnContext(context);
    return context;
}

DBG_CONTEXT* vr::trace::getContext(bool& borrowedNow)
{
    borrowedNow = false;
    if (DBG_CONTEXT* own = ownContext(); own != nullptr)
        return own;
    const DWORD threadId = GetCurrentThreadId();
    if (fallbackBorrower.load(std::memory_order_acquire) == threadId)
        return &DbgFallbackContext;
    // Without a TLS slot the thread's context is found by a walk each time.
    if (contextSlot.load(std::memory_order_acquire) == TLS_OUT_OF_INDEXES)
        if (DBG_CONTEXT* linked = findLinked(threadId); linked != nullptr) {
            setOwnContext(linked);
            return linked;
        }

    // Built outside the lock; one lock then finds a context to take over or
    // links the new one.
    DBG_CONTEXT* fresh = newContext();
    if (fresh != nullptr) {
        fresh->level = 0;
        fresh->threadId = threadId;
        DBG_ProcessColumn(fresh->processColumn, threadId);
    }
    DBG_CONTEXT* context = nullptr;
    {
        const ListGuard guard;
        context = findContext(threadId);
        if (context == nullptr && fresh != nullptr) {
            fresh->next = DbgContextList;
            DbgContextList = fresh;
            context = std::exchange(fresh, nullptr);
        }
    }
    retireContext(fresh);
    if (context == nullptr)
        return lendFallback(threadId, borrowedNow);
    setOwnContext(context);
    return context;
}

extern "C" void DBG_ReleaseContext(void)
{
    const DWORD threadId = GetCurrentThreadId();
    if (fallbackBorrower.load(std::memory_order_acquire) == threadId) {
        resetContext(DbgFallbackContext);
        fallbackBorrower.store(0, std::memory_order_release);
        return;
    }
    DBG_CONTEXT* found = nullptr;
    {
        const ListGuard guard;
        for (DBG_CONTEXT** link = &DbgContextList; *link != nullptr; link = &(*link)->next)
            if ((*link)->threadId == threadId) {
                found = *link;
                *link = found->next;
                break;
            }
    }
    setOwnContext(nullptr);
    retireContext(found);
}
