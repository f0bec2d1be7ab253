#include "process_usage.h"

#include <windows.h>

#include <cstdint>

namespace vr::test {

ProcessUsage processUsage()
{
    ProcessUsage usage;
    MEMORY_BASIC_INFORMATION region{};
    for (auto* at = static_cast<const char*>(nullptr); VirtualQuery(at, &region, sizeof region) == sizeof region;
         at = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            usage.committedPrivateBytes += static_cast<long long>(region.RegionSize);
    }
    HANDLE probe = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    usage.nextHandleValue = static_cast<long long>(reinterpret_cast<std::uintptr_t>(probe));
    CloseHandle(probe);
    return usage;
}

}  // namespace vr::test
