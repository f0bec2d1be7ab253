// The two platform calls whose failure a test must be able to produce: the
// installed-driver list allocation and the driver directory query. The
// shipped program links platform_seams.cpp; the fault-injection test build
// links its own definitions.
#pragma once

#include <windows.h>

extern "C" {
void* AllocateDriverList(DWORD bytes);
void FreeDriverList(void* block);
BOOL QueryPrinterDriverDirectory(const char* environment, char* directory, DWORD size, DWORD* needed);
}
