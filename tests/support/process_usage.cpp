#include "process_usage.h"

#include <windows.h>

vr::test::ProcessUsage vr::test::processUsage()
{
    ProcessUsage usage;
    MEMORY_BASIC_INFORMATION region{};
    for (const char* at = nullptr; VirtualQuery(at, &region, sizeof region) == sizeof region;
         at = static_cast<const char*>(region.BaseAddress) + region.RegionSize)
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            usage.committedPrivateBytes += static_cast<long long>(region.RegionSize);
    HANDLE probe = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    usage.nextHandleValue = reinterpret_cast<INT_PTR>(probe);
    CloseHandle(probe);
    return usage;
}
