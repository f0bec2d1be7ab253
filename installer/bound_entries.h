// The spooler and LZ entry points Kelvane calls, bound at run time from the
// system folder. Imported by name, winspool.drv and lz32.dll are looked for
// in the program's own folder first: a DLL of that name left beside
// Kelvane.exe in a download folder would run with administrator rights.
//
// Each set is bound once, on first use; an entry that cannot be bound is
// null, and its caller fails as the call itself would have failed.
#pragma once

#include <windows.h>

#include <lzexpand.h>
#include <winspool.h>

struct SpoolerEntries {
    decltype(&EnumPrinterDriversA) enumDrivers = nullptr;
    decltype(&GetPrinterDriverDirectoryA) driverDirectory = nullptr;
    decltype(&AddPrinterDriverA) addDriver = nullptr;
    DWORD bindError = ERROR_SUCCESS;  // why an entry is missing, for its caller's last error
};

struct LzEntries {
    decltype(&LZInit) init = nullptr;
    decltype(&LZCopy) copy = nullptr;
    decltype(&LZClose) close = nullptr;
    bool complete() const { return init != nullptr && copy != nullptr && close != nullptr; }
};

const SpoolerEntries& Spooler();
const LzEntries& Lz();

// GetPrinterDriverDirectoryA through the bound entry (level 1, this machine).
BOOL SpoolerDriverDirectory(const char* environment, char* directory, DWORD size, DWORD* needed);
