// Entry points of the spooler (winspool.drv) and the shell (shell32.dll) that
// the runtime binds at run time, so that it imports neither: a component that
// never prints or asks for a folder does not load them.
#pragma once

#include <windows.h>

#include <shlobj.h>
#include <winspool.h>

namespace vr::platform {

// The spooler's printer-data entry points, bound on first use and kept for the
// life of the process, as an import would be: loading and unloading
// winspool.drv on every call would cost far more than the call.
struct SpoolerEntries {
    DWORD status = 0;  // 0 when bound, else the status every printer step reports
    decltype(&OpenPrinterW) open = nullptr;
    decltype(&ClosePrinter) close = nullptr;
    decltype(&GetPrinterDataW) get = nullptr;
    decltype(&SetPrinterDataW) set = nullptr;
};
const SpoolerEntries& spoolerEntries() noexcept;

// The shell's folder lookup, bound and kept the same way; null when missing.
decltype(&SHGetFolderPathW) shellFolderPath() noexcept;

}  // namespace vr::platform
