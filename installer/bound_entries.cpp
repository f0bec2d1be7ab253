#include "bound_entries.h"

#include "platform/handles.h"
#include "platform_seams.h"

namespace {

constexpr wchar_t kSpoolerLibrary[] = L"winspool.drv";
constexpr wchar_t kLzLibrary[] = L"lz32.dll";

// The libraries stay loaded for the life of the process: nothing is freed
// while the process exits.
HMODULE LoadOrReport(const wchar_t* name, DWORD* error)
{
    const HMODULE module = LoadSystemLibrary(name);
    if (module == nullptr) {
        const DWORD loadError = GetLastError();
        *error = loadError != ERROR_SUCCESS ? loadError : ERROR_MOD_NOT_FOUND;
    }
    return module;
}

}  // namespace

const SpoolerEntries& Spooler()
{
    static const SpoolerEntries entries = [] {
        SpoolerEntries bound;
        const HMODULE spooler = LoadOrReport(kSpoolerLibrary, &bound.bindError);
        bound.enumDrivers = vr::bind<decltype(&EnumPrinterDriversA)>(spooler, "EnumPrinterDriversA");
        bound.driverDirectory = vr::bind<decltype(&GetPrinterDriverDirectoryA)>(spooler, "GetPrinterDriverDirectoryA");
        bound.addDriver = vr::bind<decltype(&AddPrinterDriverA)>(spooler, "AddPrinterDriverA");
        if (spooler != nullptr && (!bound.enumDrivers || !bound.driverDirectory || !bound.addDriver))
            bound.bindError = ERROR_PROC_NOT_FOUND;
        return bound;
    }();
    return entries;
}

const LzEntries& Lz()
{
    static const LzEntries entries = [] {
        LzEntries bound;
        const HMODULE lz = LoadSystemLibrary(kLzLibrary);
        bound.init = vr::bind<decltype(&LZInit)>(lz, "LZInit");
        bound.copy = vr::bind<decltype(&LZCopy)>(lz, "LZCopy");
        bound.close = vr::bind<decltype(&LZClose)>(lz, "LZClose");
        return bound;
    }();
    return entries;
}

BOOL SpoolerDriverDirectory(const char* environment, char* directory, DWORD size, DWORD* needed)
{
    const SpoolerEntries& spooler = Spooler();
    if (spooler.driverDirectory == nullptr) {
        SetLastError(spooler.bindError);
        return FALSE;
    }
    return spooler.driverDirectory(nullptr, const_cast<char*>(environment), 1, reinterpret_cast<BYTE*>(directory), size,
                                   needed);
}
