// The life of the runtime in the module that links it: what tells an unload
// from the process's exit, and what is given back at an unload. At the
// process's exit nothing is given back and nothing waited for: its other
// threads may have been ended anywhere, holding any lock.
#include <atomic>

#include "trace/module_lifetime.h"

#include "platform/handles.h"
#include "trace/log_paths.h"
#include "trace/log_queues.h"
#include "trace/logging_semaphore.h"
#include "trace/thread_contexts.h"

namespace {

using DllShutdownInProgress = BOOLEAN(NTAPI*)();

DllShutdownInProgress bindShutdownQuery() noexcept
{
    return vr::bind<DllShutdownInProgress>(GetModuleHandleW(L"ntdll.dll"), "RtlDllShutdownInProgress");
}

// Bound when the module starts, so that the question asked while the process
// exits makes no call that looks anything up.
std::atomic<DllShutdownInProgress> shutdownQuery{nullptr};

// Set once the module that links the runtime has released what it held: a
// line traced after that (from a later static destructor) borrows the
// fallback context and goes to the log path kept before, or nowhere.
std::atomic<bool> released{false};

void releaseHeld() noexcept
{
    released.store(true, std::memory_order_release);
    vr::trace::releaseContexts();
    vr::trace::releaseKeptSemaphores();
    vr::trace::releaseLogPaths();
    vr::trace::releaseLogQueues();
}

// True while the static destructors run because the module that links the
// runtime is being unloaded; false while the process exits.
bool moduleUnloading() noexcept
{
    if (vr::trace::processExiting())
        return false;
    // In a program the static destructors run from exit(), before the
    // process ends, while its other threads still run.
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<const wchar_t*>(&moduleUnloading), &self))
        return false;
    return self != GetModuleHandleW(nullptr);
}

// A static library has no DllMain of its own: the static destructors of the
// module that links it run when that module is unloaded, and also while the
// process exits. Only the first releases anything.
struct ModuleLifetime {
    ModuleLifetime() noexcept { shutdownQuery.store(bindShutdownQuery(), std::memory_order_relaxed); }
    ~ModuleLifetime()
    {
        if (moduleUnloading())
            releaseHeld();
    }
} moduleLifetime;

}  // namespace

namespace vr::trace {

bool processExiting() noexcept
{
    DllShutdownInProgress inProgress = shutdownQuery.load(std::memory_order_relaxed);
    if (inProgress == nullptr) {
        // Asked by another static initializer before this module's ran.
        inProgress = bindShutdownQuery();
        shutdownQuery.store(inProgress, std::memory_order_relaxed);
    }
    return inProgress != nullptr && inProgress() != FALSE;
}

bool runtimeReleased() noexcept { return released.load(std::memory_order_acquire); }

void releaseRuntime() noexcept { releaseHeld(); }

}  // namespace vr::trace
