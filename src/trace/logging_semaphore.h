// The named logging semaphore behind DBG_Lock and DBG_Unlock.
#pragma once

namespace vr::trace {

// Closes the semaphore handles kept open, when the module unloads.
void releaseKeptSemaphores() noexcept;

}  // namespace vr::trace
