#include "process_usage.h"

#include <windows.h>

#include <algorithm>

vr::test::ProcessUsage vr::test::processUsage()
{
    ProcessUsage usage;
    MEMORY_BASIC_INFORMATION region{};
    for (const char* at = nullptr; VirtualQuery(at, &region, sizeof region) == sizeof region;
         at = static_cast<const char*>(region.BaseAddress) + region.RegionSize)
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            usage.committedPrivateBytes += static_cast<long long>(region.RegionSize);
    // New handles fill the holes closed ones left first: the highest of a
    // batch is past them.
    HANDLE probes[64];
    for (HANDLE& probe : probes) {
        probe = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        usage.nextHandleValue = std::max<long long>(usage.nextHandleValue, reinterpret_cast<INT_PTR>(probe));
    }
    for (HANDLE probe : probes)
        CloseHandle(probe);
    return usage;
}
