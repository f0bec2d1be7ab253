// The memory estimates on Windows: the platform's memory status fed to the
// arithmetic of the portable core.
#include <windows.h>

#include "pool/core/pool.h"
#include "vrc_pool.h"

namespace {

vr::pool::MemoryStatus currentMemoryStatus() noexcept
{
    MEMORYSTATUS status{};
    status.dwLength = sizeof status;
    GlobalMemoryStatus(&status);
    return {status.dwTotalPhys, status.dwAvailPhys, status.dwTotalPageFile, status.dwAvailPageFile};
}

}  // namespace

extern "C" int MemoryAllowance(void) { return vr::pool::memoryAllowance(currentMemoryStatus()); }

extern "C" int AvailableMemory(void) { return vr::pool::availableMemory(currentMemoryStatus()); }
