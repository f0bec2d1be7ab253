#include "settings_support.h"

#include <sddl.h>
#include <winspool.h>

#include <cstdio>
#include <cstdlib>

namespace vrtest {

namespace {

struct OpenKey {
    HKEY key = nullptr;
    ~OpenKey()
    {
        if (key) RegCloseKey(key);
    }
};

}  // namespace

void removeKey(HKEY hive, const wchar_t* path)
{
    RegDeleteTreeW(hive, path);
    RegDeleteKeyW(hive, path);
}

void setValue(HKEY hive, const wchar_t* path, const wchar_t* name, DWORD type, const void* data, DWORD size)
{
    OpenKey key;
    if (RegCreateKeyExW(hive, path, 0, nullptr, 0, KEY_WRITE, nullptr, &key.key, nullptr) != ERROR_SUCCESS) return;
    RegSetValueExW(key.key, name, 0, type, static_cast<const BYTE*>(data), size);
}

void setDword(HKEY hive, const wchar_t* name, DWORD value)
{
    setValue(hive, kSettingsKey, name, REG_DWORD, &value, sizeof value);
}

void setString(HKEY hive, const wchar_t* name, const std::wstring& text)
{
    setValue(hive, kSettingsKey, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void setEnvironment(const wchar_t* name, const std::wstring& text)
{
    setValue(HKEY_LOCAL_MACHINE, kEnvironmentKey, name, REG_SZ, text.c_str(),
             static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void removeEnvironment(const wchar_t* name)
{
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kEnvironmentKey, name);
}

bool readValue(HKEY hive, const wchar_t* path, const wchar_t* name, DWORD* type, std::vector<BYTE>* data)
{
    OpenKey key;
    if (RegOpenKeyExW(hive, path, 0, KEY_QUERY_VALUE, &key.key) != ERROR_SUCCESS) return false;
    DWORD size = 0;
    if (RegQueryValueExW(key.key, name, nullptr, type, nullptr, &size) != ERROR_SUCCESS) return false;
    data->assign(size, 0);
    return RegQueryValueExW(key.key, name, nullptr, type, data->data(), &size) == ERROR_SUCCESS;
}

KeySnapshot::KeySnapshot(HKEY hive, std::wstring path) : hive_(hive), path_(std::move(path))
{
    OpenKey key;
    existed_ = RegOpenKeyExW(hive_, path_.c_str(), 0, KEY_READ, &key.key) == ERROR_SUCCESS;
    if (!existed_) return;
    for (DWORD index = 0;; ++index) {
        wchar_t name[16384];
        DWORD nameLength = 16384, type = 0, size = 0;
        if (RegEnumValueW(key.key, index, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
        Value value{name, type, std::vector<BYTE>(size)};
        RegQueryValueExW(key.key, name, nullptr, nullptr, value.data.data(), &size);
        values_.push_back(std::move(value));
    }
}

KeySnapshot::~KeySnapshot()
{
    removeKey(hive_, path_.c_str());
    if (!existed_) return;
    for (const Value& value : values_)
        setValue(hive_, path_.c_str(), value.name.c_str(), value.type, value.data.data(),
                 static_cast<DWORD>(value.data.size()));
    if (values_.empty()) {
        OpenKey key;
        RegCreateKeyExW(hive_, path_.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key.key, nullptr);
    }
}

ValueSnapshot::ValueSnapshot(HKEY hive, std::wstring path, std::wstring name)
    : hive_(hive), path_(std::move(path)), name_(std::move(name))
{
    existed_ = readValue(hive_, path_.c_str(), name_.c_str(), &type_, &data_);
}

ValueSnapshot::~ValueSnapshot()
{
    if (existed_)
        setValue(hive_, path_.c_str(), name_.c_str(), type_, data_.data(), static_cast<DWORD>(data_.size()));
    else
        RegDeleteKeyValueW(hive_, path_.c_str(), name_.c_str());
}

namespace {
constexpr const wchar_t* kCompanyKey = L"SOFTWARE\\Norvessa Corporation";
}

CleanSettings::CompanyKey::CompanyKey(HKEY hive) : hive(hive)
{
    OpenKey key;
    existed = RegOpenKeyExW(hive, kCompanyKey, 0, KEY_READ, &key.key) == ERROR_SUCCESS;
}

CleanSettings::CompanyKey::~CompanyKey()
{
    if (!existed) RegDeleteKeyW(hive, kCompanyKey);   // only when empty
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
    OpenKey key;
    if (RegCreateKeyExW(hive_, path, 0, nullptr, 0, READ_CONTROL | WRITE_DAC, nullptr, &key.key, nullptr) !=
        ERROR_SUCCESS)
        return;
    DWORD size = 0;
    RegGetKeySecurity(key.key, DACL_SECURITY_INFORMATION, nullptr, &size);
    former_.assign(size, 0);
    if (RegGetKeySecurity(key.key, DACL_SECURITY_INFORMATION, former_.data(), &size) != ERROR_SUCCESS) return;
    PSECURITY_DESCRIPTOR readOnly = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;KR;;;WD)", SDDL_REVISION_1, &readOnly,
                                                              nullptr))
        return;
    applied_ = RegSetKeySecurity(key.key, DACL_SECURITY_INFORMATION, readOnly) == ERROR_SUCCESS;
    LocalFree(readOnly);
}

ReadOnlyKey::~ReadOnlyKey()
{
    if (!applied_) return;
    OpenKey key;
    if (RegOpenKeyExW(hive_, path_.c_str(), 0, WRITE_DAC, &key.key) == ERROR_SUCCESS)
        RegSetKeySecurity(key.key, DACL_SECURITY_INFORMATION, former_.data());
}

ScratchFolder::ScratchFolder()
{
    static int counter = 0;
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp) + L"vrsettings-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(++counter);
    CreateDirectoryW(path_.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder()
{
    removeTree(path_);
}

void removeTree(const std::wstring& path)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = path + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                removeTree(child);
            else
                DeleteFileW(child.c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
}

bool folderExists(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

DriverLogCapture::DriverLogCapture() : file_(folder_.path() + L"\\driver.log")
{
    setString(HKEY_CURRENT_USER, L"DriverLogFile", file_);
}

std::string DriverLogCapture::text() const
{
    std::string content;
    FILE* file = _wfopen(file_.c_str(), L"rb");
    if (!file) return content;
    char chunk[4096];
    for (size_t count; (count = std::fread(chunk, 1, sizeof chunk, file)) > 0;) content.append(chunk, count);
    std::fclose(file);
    return content;
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
    if (!printer) return GetLastError() == ERROR_PRINTER_ALREADY_EXISTS;
    ClosePrinter(printer);
    return true;
}

}  // namespace

const wchar_t* testPrinterName()
{
    static const bool made = [] {
        const bool ok = makeTestPrinter();
        if (ok) std::atexit(removeTestPrinter);
        return ok;
    }();
    return made ? kPrinterName : nullptr;
}

std::wstring printerDataKey()
{
    return std::wstring(L"System\\CurrentControlSet\\Control\\Print\\Printers\\") + kPrinterName +
           L"\\PrinterDriverData";
}

}  // namespace vrtest
