// What a process holds, as far as Wine shows it (it has no process memory
// counters nor handle count): the committed private memory, summed over the
// address space, and the value new handles get, which grows only while
// handles are left open.
#pragma once

namespace vr::test {

struct ProcessUsage {
    long long committedPrivateBytes = 0;
    long long nextHandleValue = 0;
};
ProcessUsage processUsage();

}  // namespace vr::test
