#include "test_printer.h"

#include <windows.h>
#include <winspool.h>

#include <cstdlib>

namespace vr::test {

namespace {

constexpr const wchar_t* kPrinterName = L"Veranto Settings Test Printer";
constexpr const wchar_t* kDriverName = L"Veranto Settings Test Driver";
constexpr const wchar_t* kEnvironment = L"Windows x64";

void removeTestPrinter()
{
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE printer = nullptr;
    if (OpenPrinterW(const_cast<wchar_t*>(kPrinterName), &printer, &defaults)) {
        DeletePrinter(printer);
        ClosePrinter(printer);
    }
    DeletePrinterDriverW(nullptr, const_cast<wchar_t*>(kEnvironment), const_cast<wchar_t*>(kDriverName));
}

bool makeTestPrinter()
{
    wchar_t directory[MAX_PATH];
    DWORD needed = 0;
    if (!GetPrinterDriverDirectoryW(nullptr, const_cast<wchar_t*>(kEnvironment), 1, reinterpret_cast<BYTE*>(directory),
                                    sizeof directory, &needed))
        return false;
    std::wstring driverFile = std::wstring(directory) + L"\\3\\wineps.drv";

    DRIVER_INFO_3W driver{};
    driver.cVersion = 3;
    driver.pName = const_cast<wchar_t*>(kDriverName);
    driver.pEnvironment = const_cast<wchar_t*>(kEnvironment);
    driver.pDriverPath = driverFile.data();
    driver.pDataFile = driverFile.data();
    driver.pConfigFile = driverFile.data();
    if (!AddPrinterDriverW(nullptr, 3, reinterpret_cast<BYTE*>(&driver)) &&
        GetLastError() != ERROR_PRINTER_DRIVER_ALREADY_INSTALLED)
        return false;

    PRINTER_INFO_2W info{};
    info.pPrinterName = const_cast<wchar_t*>(kPrinterName);
    info.pPortName = const_cast<wchar_t*>(L"FILE:");
    info.pDriverName = const_cast<wchar_t*>(kDriverName);
    info.pPrintProcessor = const_cast<wchar_t*>(L"winprint");
    info.pDatatype = const_cast<wchar_t*>(L"RAW");
    HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info));
    if (!printer)
        return GetLastError() == ERROR_PRINTER_ALREADY_EXISTS;
    ClosePrinter(printer);
    return true;
}

}  // namespace

const wchar_t* testPrinterName()
{
    static const bool made = [] {
        const bool ok = makeTestPrinter();
        if (ok)
            std::atexit(removeTestPrinter);
        return ok;
    }();
    return made ? kPrinterName : nullptr;
}

std::wstring printerDataKey()
{
    return std::wstring(L"System\\CurrentControlSet\\Control\\Print\\Printers\\") + kPrinterName +
           L"\\PrinterDriverData";
}

}  // namespace vr::test
