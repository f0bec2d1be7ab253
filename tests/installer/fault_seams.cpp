// Kelvane with its platform seams made to fail on request, for the faults a
// real spooler, heap and desktop will not produce: KELVANE_FAULT names the one
// to fail ("dependent-files", "grow-dependent-files", "driver-list",
// "driver-directory", "no-spooler-library", "no-lz-library",
// "invisible-station", "session-zero").
#include "platform_seams.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "bound_entries.h"
#include "core/kelvane_core.h"
#include "platform/system_library.h"
#include "platform/window_station.h"

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
    return SpoolerDriverDirectory(environment, directory, size, needed);
}

HMODULE LoadSystemLibrary(const wchar_t* name)
{
    if ((Fails("no-spooler-library") && _wcsicmp(name, L"winspool.drv") == 0) ||
        (Fails("no-lz-library") && _wcsicmp(name, L"lz32.dll") == 0)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return vr::platform::loadSystemLibrary(name);
}

// The real station unless a test asks for one nobody sees, or for the process
// to run in session 0.
BOOL WindowStationVisible(void)
{
    vr::platform::StationFacts facts = vr::platform::processStationFacts();
    if (Fails("invisible-station"))
        facts = {true, facts.flags & ~static_cast<DWORD>(WSF_VISIBLE), facts.sessionKnown, facts.session};
    if (Fails("session-zero"))
        facts = {facts.flagsKnown, facts.flags, true, 0};
    return vr::platform::boxesCanBeSeen(facts) ? TRUE : FALSE;
}

}  // extern "C"
