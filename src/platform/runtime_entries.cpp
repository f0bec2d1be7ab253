#include "platform/runtime_entries.h"

#include "platform/handles.h"
#include "platform/system_library.h"

namespace vr::platform {

namespace {

// Bound by one thread while the others wait, under INIT_ONCE rather than a
// guarded local static: threads contending for a static's guard leave
// synchronisation objects behind that nothing closes when the module unloads.
SpoolerEntries spooler;
INIT_ONCE spoolerBinding = INIT_ONCE_STATIC_INIT;
decltype(&SHGetFolderPathW) shellGetFolderPath = nullptr;
INIT_ONCE shellBinding = INIT_ONCE_STATIC_INIT;

BOOL CALLBACK bindSpooler(INIT_ONCE*, void*, void**)
{
    const HMODULE library = loadSystemLibrary(L"winspool.drv");
    if (!library) {
        const DWORD error = GetLastError();
        spooler.status = error ? error : ERROR_MOD_NOT_FOUND;
        return TRUE;
    }
    spooler.open = bind<decltype(&OpenPrinterW)>(library, "OpenPrinterW");
    spooler.close = bind<decltype(&ClosePrinter)>(library, "ClosePrinter");
    spooler.get = bind<decltype(&GetPrinterDataW)>(library, "GetPrinterDataW");
    spooler.set = bind<decltype(&SetPrinterDataW)>(library, "SetPrinterDataW");
    if (!spooler.open || !spooler.close || !spooler.get || !spooler.set)
        spooler.status = ERROR_PROC_NOT_FOUND;
    return TRUE;
}

BOOL CALLBACK bindShell(INIT_ONCE*, void*, void**)
{
    shellGetFolderPath = bind<decltype(&SHGetFolderPathW)>(loadSystemLibrary(L"shell32.dll"), "SHGetFolderPathW");
    return TRUE;
}

}  // namespace

const SpoolerEntries& spoolerEntries() noexcept
{
    InitOnceExecuteOnce(&spoolerBinding, bindSpooler, nullptr, nullptr);
    return spooler;
}

decltype(&SHGetFolderPathW) shellFolderPath() noexcept
{
    InitOnceExecuteOnce(&shellBinding, bindShell, nullptr, nullptr);
    return shellGetFolderPath;
}

}  // namespace vr::platform
