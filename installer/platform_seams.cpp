#include "platform_seams.h"

#include <winspool.h>

#include <cstdlib>

#include "core/kelvane_core.h"

extern "C" {

void* AllocateDependentFiles(std::size_t bytes) { return std::calloc(1, bytes); }
void* GrowDependentFiles(void* block, std::size_t bytes) { return std::realloc(block, bytes); }
void FreeDependentFiles(void* block) { std::free(block); }

void* AllocateDriverList(DWORD bytes) { return std::malloc(bytes); }
void FreeDriverList(void* block) { std::free(block); }

BOOL QueryPrinterDriverDirectory(const char* environment, char* directory, DWORD size, DWORD* needed)
{
    return GetPrinterDriverDirectoryA(nullptr, const_cast<char*>(environment), 1, reinterpret_cast<BYTE*>(directory),
                                      size, needed);
}

}  // extern "C"
