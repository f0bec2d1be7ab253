// Kelvane with its two platform seams made to fail on request, for the faults
// a real spooler and heap will not produce: KELVANE_FAULT names the one to fail
// ("dependent-files", "grow-dependent-files", "driver-list", "driver-directory").
#include "platform_seams.h"

#include <winspool.h>

#include <cstdlib>
#include <cstring>

#include "core/kelvane_core.h"

namespace {

bool Fails(const char* seam)
{
    char wanted[64] = {};
    const DWORD length = GetEnvironmentVariableA("KELVANE_FAULT", wanted, sizeof wanted);
    return length > 0 && length < sizeof wanted && std::strcmp(wanted, seam) == 0;
}

}  // namespace

extern "C" {

void* AllocateDependentFiles(std::size_t bytes) { return Fails("dependent-files") ? nullptr : std::calloc(1, bytes); }

void* GrowDependentFiles(void* block, std::size_t bytes)
{
    return Fails("grow-dependent-files") ? nullptr : std::realloc(block, bytes);
}

void FreeDependentFiles(void* block) { std::free(block); }

void* AllocateDriverList(DWORD bytes) { return Fails("driver-list") ? nullptr : std::malloc(bytes); }
void FreeDriverList(void* block) { std::free(block); }

BOOL QueryPrinterDriverDirectory(const char* environment, char* directory, DWORD size, DWORD* needed)
{
    if (Fails("driver-directory")) {
        SetLastError(ERROR_INVALID_ENVIRONMENT);
        return FALSE;
    }
    return GetPrinterDriverDirectoryA(nullptr, const_cast<char*>(environment), 1, reinterpret_cast<BYTE*>(directory),
                                      size, needed);
}

}  // extern "C"
