#include "platform_seams.h"

#include <cstdlib>

#include "bound_entries.h"
#include "core/kelvane_core.h"
#include "platform/system_library.h"
#include "platform/window_station.h"

extern "C" {

void* AllocateDependentFiles(std::size_t bytes) { return std::calloc(1, bytes); }
void* GrowDependentFiles(void* block, std::size_t bytes) { return std::realloc(block, bytes); }
void FreeDependentFiles(void* block) { std::free(block); }

void* AllocateDriverList(DWORD bytes) { return std::malloc(bytes); }
void FreeDriverList(void* block) { std::free(block); }

BOOL QueryPrinterDriverDirectory(const char* environment, char* directory, DWORD size, DWORD* needed)
{
    return SpoolerDriverDirectory(environment, directory, size, needed);
}

HMODULE LoadSystemLibrary(const wchar_t* name) { return vr::platform::loadSystemLibrary(name); }

BOOL WindowStationVisible(void) { return vr::platform::windowStationVisible() ? TRUE : FALSE; }

}  // extern "C"
