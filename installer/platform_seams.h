// The platform calls whose failure or answer a test must be able to produce:
// the installed-driver list allocation, the driver directory query, loading a
// system library (for the spooler and LZ entry points) and the window
// station's visibility. The shipped program links platform_seams.cpp; the
// fault-injection test build links its own definitions.
#pragma once

#include <windows.h>

extern "C" {
void* AllocateDriverList(DWORD bytes);
void FreeDriverList(void* block);
BOOL QueryPrinterDriverDirectory(const char* environment, char* directory, DWORD size, DWORD* needed);
// Null, with the last error set, when the library cannot be loaded.
HMODULE LoadSystemLibrary(const wchar_t* name);
BOOL WindowStationVisible(void);
}
