#include "settings_support.h"

#include <sddl.h>
#include <winspool.h>

#include <cstdlib>

#include "platform/handles.h"

namespace vr::test {

namespace {

// The key above the settings key: VRC_SETTINGS_KEY without its last level.
std::wstring companyKey()
{
    std::wstring key = kSettingsKey;
    key.pop_back();  // the trailing backslash
    return key.substr(0, key.find_last_of(L'\\'));
}

}  // namespace

void setEnvironment(const wchar_t* name, const std::wstring& text)
{
    setValue(HKEY_LOCAL_MACHINE, kEnvironmentKey, name, REG_SZ, text.c_str(),
             static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void removeEnvironment(const wchar_t* name) { deleteValue(HKEY_LOCAL_MACHINE, kEnvironmentKey, name); }

CleanSettings::CompanyKey::CompanyKey(HKEY hive) : hive(hive)
{
    UniqueRegistryKey key;
    existed = RegOpenKeyExW(hive, companyKey().c_str(), 0, KEY_READ, put(key)) == ERROR_SUCCESS;
}

CleanSettings::CompanyKey::~CompanyKey()
{
    if (!existed)
        RegDeleteKeyW(hive, companyKey().c_str());  // only when empty
}

CleanSettings::CleanSettings()
{
    removeKey(HKEY_LOCAL_MACHINE, kSettingsKey);
    removeKey(HKEY_CURRENT_USER, kSettingsKey);
    removeEnvironment(L"NVS_DATA_ROOT");
    removeEnvironment(L"NVS_DATA_LOGS");
}

ReadOnlyKey::ReadOnlyKey(HKEY hive, const wchar_t* path) : hive_(hive), path_(path)
{
    UniqueRegistryKey key;
    if (RegCreateKeyExW(hive_, path, 0, nullptr, 0, READ_CONTROL | WRITE_DAC, nullptr, put(key), nullptr) !=
        ERROR_SUCCESS)
        return;
    DWORD size = 0;
    RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, nullptr, &size);
    former_.assign(size, 0);
    if (RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, former_.data(), &size) != ERROR_SUCCESS)
        return;
    PSECURITY_DESCRIPTOR readOnly = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;KR;;;WD)", SDDL_REVISION_1, &readOnly, nullptr))
        return;
    applied_ = RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, readOnly) == ERROR_SUCCESS;
    LocalFree(readOnly);
}

ReadOnlyKey::~ReadOnlyKey()
{
    if (!applied_)
        return;
    UniqueRegistryKey key;
    if (RegOpenKeyExW(hive_, path_.c_str(), 0, WRITE_DAC, put(key)) == ERROR_SUCCESS)
        RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, former_.data());
}

// ---- the test printer --------------------------------------------------------------

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
