// Thread contexts: each tracing thread's DBG_CONTEXT, found through the
// module's TLS slot or the list, and the fallback lent when none can be made.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "trace/core/trace_context.h"
#include "vrc_trace.h"

namespace vr::trace {

inline constexpr int32_t kDeepLevelNotArmed = 127;

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

// Frees every context and the TLS slot, when the module unloads.
void releaseContexts() noexcept;

}  // namespace vr::trace
