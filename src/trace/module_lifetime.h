// The life of the runtime in the module that links it, beneath every other
// part of the tracer: whether the process is exiting, and whether the module
// has given back what it held.
#pragma once

namespace vr::trace {

// True once the process has begun to exit: its other threads may have been
// ended anywhere, holding any lock, so nothing may wait for one then.
bool processExiting() noexcept;
// True once the module has given back what it held for the process: the
// loader lock may be held, and nothing may be kept that no one would free.
bool runtimeReleased() noexcept;
// Gives back what the module's unloading gives back; tracing afterwards
// uses nothing that must be released again.
void releaseRuntime() noexcept;

}  // namespace vr::trace
