#include "platform/runtime_entries.h"

#include "platform/handles.h"
#include "platform/system_library.h"

namespace vr::platform {

const SpoolerEntries& spoolerEntries() noexcept
{
    static const SpoolerEntries entries = [] {
        SpoolerEntries bound;
        const HMODULE spooler = loadSystemLibrary(L"winspool.drv");
        if (!spooler) {
            const DWORD error = GetLastError();
            bound.status = error ? error : ERROR_MOD_NOT_FOUND;
            return bound;
        }
        bound.open = bind<decltype(&OpenPrinterW)>(spooler, "OpenPrinterW");
        bound.close = bind<decltype(&ClosePrinter)>(spooler, "ClosePrinter");
        bound.get = bind<decltype(&GetPrinterDataW)>(spooler, "GetPrinterDataW");
        bound.set = bind<decltype(&SetPrinterDataW)>(spooler, "SetPrinterDataW");
        if (!bound.open || !bound.close || !bound.get || !bound.set)
            bound.status = ERROR_PROC_NOT_FOUND;
        return bound;
    }();
    return entries;
}

decltype(&SHGetFolderPathW) shellFolderPath() noexcept
{
    static const auto getFolderPath = [] {
        const HMODULE shell = loadSystemLibrary(L"shell32.dll");
        return bind<decltype(&SHGetFolderPathW)>(shell, "SHGetFolderPathW");
    }();
    return getFolderPath;
}

}  // namespace vr::platform
