// vrcommon: the product's registry settings store and its data folders.
//
// Every call opens and closes its own registry keys and printer handles;
// nothing is kept between calls and nothing is locked. The spooler
// (winspool.drv) and the shell (shell32.dll) are bound at run time so that the
// library imports neither.
#include "vrcommon.h"

#include <shlobj.h>
#include <winspool.h>

#include <cwchar>
#include <span>
#include <string_view>

#include "handles.h"
#include "settings_core.h"
#include "settings_seam.h"

namespace {

using namespace vr::settings;

constexpr const wchar_t* kSettingsKey = L"SOFTWARE\\Norvessa Corporation\\Veranto 6.2\\";
constexpr const wchar_t* kEnvironmentKey = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

constexpr REGSAM kReadRights = KEY_QUERY_VALUE;
constexpr REGSAM kWriteRights = KEY_WRITE;
constexpr REGSAM kDeleteRights = KEY_ALL_ACCESS;
constexpr DWORD kPrinterReadRights = PRINTER_ACCESS_USE;
constexpr DWORD kPrinterWriteRights = PRINTER_ALL_ACCESS;

#define VRC_REPORT(...) DBG_Print(__FILE__, __LINE__, DBG_MASK_REL, DBG_Text(__VA_ARGS__))

HKEY hiveOf(int perUser) noexcept
{
    return perUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

// ---- run-time bindings -----------------------------------------------------------

struct LibraryFreer {
    void operator()(HMODULE module) const noexcept { FreeLibrary(module); }
};
using UniqueLibrary = std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryFreer>;

template <class Function>
Function bind(HMODULE module, const char* name) noexcept
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// The spooler's entry points are bound on first use and kept for the life of
// the process, as an import would be: loading and unloading winspool.drv on
// every call would cost far more than the call.
struct SpoolerEntries {
    DWORD status = 0;   // 0 when bound, else the status every printer step reports
    decltype(&OpenPrinterW) open = nullptr;
    decltype(&ClosePrinter) close = nullptr;
    decltype(&GetPrinterDataW) get = nullptr;
    decltype(&SetPrinterDataW) set = nullptr;
};

const SpoolerEntries& spoolerEntries() noexcept
{
    static const SpoolerEntries entries = [] {
        SpoolerEntries bound;
        const HMODULE spooler = LoadLibraryW(L"winspool.drv");
        if (!spooler) {
            const DWORD error = GetLastError();
            bound.status = error ? error : ERROR_MOD_NOT_FOUND;
            return bound;
        }
        bound.open = bind<decltype(&OpenPrinterW)>(spooler, "OpenPrinterW");
        bound.close = bind<decltype(&ClosePrinter)>(spooler, "ClosePrinter");
        bound.get = bind<decltype(&GetPrinterDataW)>(spooler, "GetPrinterDataW");
        bound.set = bind<decltype(&SetPrinterDataW)>(spooler, "SetPrinterDataW");
        if (!bound.open || !bound.close || !bound.get || !bound.set) bound.status = ERROR_PROC_NOT_FOUND;
        return bound;
    }();
    return entries;
}

// The shell's folder lookup, bound and kept the same way.
decltype(&SHGetFolderPathW) shellFolderPath() noexcept
{
    static const auto getFolderPath = [] {
        const HMODULE shell = LoadLibraryW(L"shell32.dll");
        return shell ? bind<decltype(&SHGetFolderPathW)>(shell, "SHGetFolderPathW") : nullptr;
    }();
    return getFolderPath;
}

class Spooler {
public:
    // 0 when the spooler is usable, else the status every printer step reports.
    DWORD status() const noexcept { return entries_.status; }

    DWORD getData(HANDLE printer, const wchar_t* valueName, void* buffer, DWORD size, DWORD* needed) const noexcept
    {
        if (entries_.status) return entries_.status;
        return entries_.get(printer, const_cast<wchar_t*>(valueName), nullptr, static_cast<BYTE*>(buffer), size,
                            needed);
    }

    DWORD setData(HANDLE printer, const wchar_t* valueName, DWORD type, const void* data, DWORD size) const noexcept
    {
        if (entries_.status) return entries_.status;
        return entries_.set(printer, const_cast<wchar_t*>(valueName), type,
                            static_cast<BYTE*>(const_cast<void*>(data)), size);
    }

    // Runs `operation` on the printer of that name opened with `access`;
    // returns its status, or the open's last-error code.
    template <class Operation>
    DWORD withPrinter(const wchar_t* printerName, DWORD access, Operation operation) const noexcept
    {
        if (entries_.status) return entries_.status;
        PRINTER_DEFAULTSW defaults{nullptr, nullptr, access};
        HANDLE printer = nullptr;
        if (!entries_.open(const_cast<wchar_t*>(printerName), &printer, &defaults)) {
            const DWORD error = GetLastError();
            return error ? error : ERROR_INVALID_PRINTER_NAME;
        }
        const DWORD status = operation(printer);
        entries_.close(printer);
        return status;
    }

private:
    const SpoolerEntries& entries_ = spoolerEntries();
};

bool isPrinterTarget(const wchar_t* printerName, HANDLE printer) noexcept
{
    return printerName != nullptr || printer != nullptr;
}

// The printer steps shared by readers, writers and the deleter: the caller's
// handle first; unless its status is final, the printer by name.
template <class Operation, class IsFinal>
DWORD onPrinter(const wchar_t* printerName, HANDLE printer, DWORD access, const Spooler& spooler,
                Operation operation, IsFinal isFinal) noexcept
{
    DWORD status = ERROR_INVALID_HANDLE;
    if (printer) {
        status = operation(printer);
        if (isFinal(status)) return status;
    }
    if (printerName) status = spooler.withPrinter(printerName, access, operation);
    return status;
}

// ---- the settings key -------------------------------------------------------------

struct ReadResult {
    LSTATUS status;
    bool fromValueQuery;   // the status came from the value query, not the open
};

ReadResult readSettingsValue(const wchar_t* valueName, void* buffer, DWORD* size, int perUser,
                             bool sixtyFourBitView) noexcept
{
    REGSAM rights = kReadRights;
    if (sixtyFourBitView && VRC_IsWow64()) rights |= KEY_WOW64_64KEY;
    HKEY opened = nullptr;
    const LSTATUS open = RegOpenKeyExW(hiveOf(perUser), kSettingsKey, 0, rights, &opened);
    if (open != ERROR_SUCCESS) return {open, false};
    vr::UniqueRegistryKey key(opened);
    return {RegQueryValueExW(key.get(), valueName, nullptr, nullptr, static_cast<BYTE*>(buffer), size), true};
}

enum class WriteFailure { None, Create, Set };

struct WriteResult {
    LSTATUS status;
    WriteFailure failure;
};

WriteResult writeSettingsValue(HKEY hive, const wchar_t* valueName, DWORD type, const void* data,
                               DWORD size) noexcept
{
    HKEY created = nullptr;
    const LSTATUS create = RegCreateKeyExW(hive, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE, kWriteRights,
                                           nullptr, &created, nullptr);
    if (create != ERROR_SUCCESS) return {create, WriteFailure::Create};
    vr::UniqueRegistryKey key(created);
    const LSTATUS set = RegSetValueExW(key.get(), valueName, 0, type, static_cast<const BYTE*>(data), size);
    return {set, set == ERROR_SUCCESS ? WriteFailure::None : WriteFailure::Set};
}

// The writers' printer steps, then the settings key of `hive`.
WriteResult writeValue(const wchar_t* printerName, HANDLE printer, HKEY hive, const wchar_t* valueName,
                       DWORD type, const void* data, DWORD size) noexcept
{
    if (isPrinterTarget(printerName, printer)) {
        Spooler spooler;
        const DWORD status = onPrinter(
            printerName, printer, kPrinterWriteRights, spooler,
            [&](HANDLE target) { return spooler.setData(target, valueName, type, data, size); },
            [](DWORD result) { return result == ERROR_SUCCESS; });
        return {static_cast<LSTATUS>(status), status == ERROR_SUCCESS ? WriteFailure::None : WriteFailure::Set};
    }
    return writeSettingsValue(hive, valueName, type, data, size);
}

std::wstring_view storedText(const wchar_t* text) noexcept
{
    return text ? std::wstring_view(text) : std::wstring_view(L"", 0);
}

DWORD storedTextBytes(std::wstring_view text) noexcept
{
    return static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
}

WriteResult writeString(const wchar_t* printerName, HANDLE printer, HKEY hive, const wchar_t* valueName,
                        const wchar_t* string) noexcept
{
    const std::wstring_view text = storedText(string);
    return writeValue(printerName, printer, hive, valueName, REG_SZ, text.data(), storedTextBytes(text));
}

// ---- known settings -----------------------------------------------------------------

bool serverMode() noexcept
{
    return VRC_IsServerMode() != 0;
}

DWORD readSetting(const DwordSetting& setting) noexcept
{
    const bool user = usesUserHive(setting.hive, setting.hive == Hive::MachineInServerMode && serverMode());
    DWORD stored = 0;
    const bool read = VRC_GetDwordValue(nullptr, nullptr, setting.name, &stored, user ? 1 : 0) != 0;
    return settingResult(setting, read, stored);
}

int readOptionalSetting(const DwordSetting& setting, DWORD* out) noexcept
{
    DWORD stored = 0;
    if (!VRC_GetDwordValue(nullptr, nullptr, setting.name, &stored, usesUserHive(setting.hive, false) ? 1 : 0))
        return 0;
    if (out) *out = settingResult(setting, true, stored);
    return 1;
}

int writeSetting(const DwordSetting& setting, DWORD value, bool user) noexcept
{
    return VRC_SetDwordValue(nullptr, nullptr, setting.name, value, user ? 1 : 0);
}

// ---- folders ----------------------------------------------------------------------------

std::span<wchar_t> callerBuffer(wchar_t* buffer, DWORD capacity) noexcept
{
    return {buffer, static_cast<std::size_t>(capacity)};
}

DWORD bytesOf(DWORD capacity) noexcept
{
    return capacity > MAXDWORD / sizeof(wchar_t) ? MAXDWORD - 1 : capacity * static_cast<DWORD>(sizeof(wchar_t));
}

// Empties the caller's buffer on a failure, so that what is left is a text.
int failFolder(wchar_t* buffer, DWORD capacity) noexcept
{
    if (buffer && capacity) buffer[0] = L'\0';
    return 0;
}

// An existing folder counts as created, so that two processes creating the
// same folder both succeed; a file of that name does not.
bool createFolder(const wchar_t* path) noexcept
{
    if (CreateDirectoryW(path, nullptr)) return true;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// One of the machine environment values NVS_DATA_ROOT and NVS_DATA_LOGS, as
// stored (environment references are not expanded).
struct EnvironmentValue {
    bool found = false;
    wchar_t text[1024 + 1] = {};   // 2048 bytes are read; the extra character keeps the text terminated
};

EnvironmentValue readMachineEnvironment(const wchar_t* name) noexcept
{
    EnvironmentValue value;
    REGSAM rights = KEY_READ;
    if (VRC_IsWow64()) rights |= KEY_WOW64_64KEY;
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kEnvironmentKey, 0, rights, &opened) != ERROR_SUCCESS) return value;
    vr::UniqueRegistryKey key(opened);
    DWORD size = 1024 * sizeof(wchar_t);
    value.found = RegQueryValueExW(key.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(value.text), &size) ==
                  ERROR_SUCCESS;
    return value;
}

// A shell folder, created if needed.
bool shellFolder(int csidl, wchar_t (&path)[MAX_PATH]) noexcept
{
    const auto getFolderPath = shellFolderPath();
    if (!getFolderPath) return false;
    path[0] = L'\0';
    if (FAILED(getFolderPath(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, 0, path))) return false;
    path[MAX_PATH - 1] = L'\0';
    return true;
}

}  // namespace

// Tests replace the spooler's DeletePrinterDataW, which not every spooler implements.
namespace vr::settings {
namespace {
DeletePrinterDataFunction deletePrinterDataReplacement = nullptr;
}
void replaceDeletePrinterData(DeletePrinterDataFunction function) noexcept
{
    deletePrinterDataReplacement = function;
}
}  // namespace vr::settings

extern "C" {

// ---- generic accessors ----------------------------------------------------------------

int VRC_GetDwordValue(const wchar_t* printerName, HANDLE hPrinter, const wchar_t* valueName, DWORD* value,
                      int perUser)
{
    DWORD stored = value ? *value : 0;   // a value shorter than 4 bytes leaves the rest as it was
    LSTATUS status;
    if (isPrinterTarget(printerName, hPrinter)) {
        Spooler spooler;
        status = static_cast<LSTATUS>(onPrinter(
            printerName, hPrinter, kPrinterReadRights, spooler,
            [&](HANDLE target) {
                DWORD needed = 0;
                return spooler.getData(target, valueName, &stored, sizeof stored, &needed);
            },
            [](DWORD result) { return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND; }));
    } else {
        DWORD size = sizeof stored;
        status = readSettingsValue(valueName, &stored, &size, perUser, true).status;
    }
    if (status != ERROR_SUCCESS) return 0;
    if (value) *value = stored;
    return 1;
}

int VRC_GetStringValue(const wchar_t* printerName, HANDLE hPrinter, const wchar_t* valueName, wchar_t* buffer,
                       DWORD bufferBytes, int perUser)
{
    LSTATUS status;
    bool fromValueQuery = false;
    DWORD bytesRead = 0;
    if (isPrinterTarget(printerName, hPrinter)) {
        Spooler spooler;
        DWORD queryStatus = MAXDWORD;   // the status of the last printer-data query, if one ran
        status = static_cast<LSTATUS>(onPrinter(
            printerName, hPrinter, kPrinterReadRights, spooler,
            [&](HANDLE target) {
                const DWORD result = spooler.getData(target, valueName, buffer, bufferBytes, &bytesRead);
                if (spooler.status() == 0) queryStatus = result;
                return result;
            },
            [](DWORD result) { return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND; }));
        // Else the status is that of a printer that could not be opened.
        fromValueQuery = static_cast<DWORD>(status) == queryStatus;
    } else {
        bytesRead = bufferBytes;
        const ReadResult result = readSettingsValue(valueName, buffer, &bytesRead, perUser, true);
        status = result.status;
        fromValueQuery = result.fromValueQuery;
    }
    if (status == ERROR_SUCCESS && buffer &&
        !terminateReadText(std::span<wchar_t>(buffer, bufferBytes / sizeof(wchar_t)), bytesRead)) {
        status = ERROR_MORE_DATA;   // the stored text fills the buffer and has no NUL
        fromValueQuery = true;
    }
    if (status == ERROR_SUCCESS) return 1;
    if (!(status == ERROR_FILE_NOT_FOUND && fromValueQuery))
        VRC_REPORT("**ERROR** : Failed to access registry key '%S'. GetLastError() = %d", valueName,
                   static_cast<int>(status));
    return 0;
}

DWORD VRC_GetValueData(const wchar_t* printerName, HANDLE hPrinter, const wchar_t* valueName, void* buffer,
                       DWORD* size, int perUser)
{
    if (!valueName || !size) return ERROR_INVALID_PARAMETER;
    if (isPrinterTarget(printerName, hPrinter)) {
        Spooler spooler;
        const DWORD capacity = *size;
        return onPrinter(
            printerName, hPrinter, kPrinterReadRights, spooler,
            [&](HANDLE target) {
                DWORD needed = 0;
                const DWORD status = spooler.getData(target, valueName, buffer, capacity, &needed);
                if (spooler.status() == 0) *size = needed;
                return status;
            },
            [](DWORD result) {
                return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND || result == ERROR_MORE_DATA;
            });
    }
    return static_cast<DWORD>(readSettingsValue(valueName, buffer, size, perUser, false).status);
}

int VRC_GetQwordValue(const wchar_t* valueName, ULONGLONG* value, int perUser)
{
    ULONGLONG stored = value ? *value : 0;
    DWORD size = sizeof stored;
    if (readSettingsValue(valueName, &stored, &size, perUser, false).status != ERROR_SUCCESS) return 0;
    if (value) *value = stored;
    return 1;
}

int VRC_SetDwordValue(const wchar_t* printerName, HANDLE hPrinter, const wchar_t* valueName, DWORD value,
                      int perUser)
{
    return writeValue(printerName, hPrinter, hiveOf(perUser), valueName, REG_DWORD, &value, sizeof value).failure ==
           WriteFailure::None;
}

int VRC_SetUserDwordValue(const wchar_t* printerName, HANDLE hPrinter, const wchar_t* valueName, DWORD value)
{
    return VRC_SetDwordValue(printerName, hPrinter, valueName, value, 1);
}

int VRC_SetBinaryValue(const wchar_t* printerName, HANDLE hPrinter, const wchar_t* valueName, const void* data,
                       DWORD byteCount, int perUser)
{
    if (!data) return 0;
    return writeValue(printerName, hPrinter, hiveOf(perUser), valueName, REG_BINARY, data, byteCount).failure ==
           WriteFailure::None;
}

int VRC_SetUserBinaryValue(const wchar_t* printerName, HANDLE hPrinter, const wchar_t* valueName, const void* data,
                           DWORD byteCount)
{
    return VRC_SetBinaryValue(printerName, hPrinter, valueName, data, byteCount, 1);
}

int VRC_SetUserStringValue(const wchar_t* printerName, HANDLE hPrinter, const wchar_t* valueName,
                           const wchar_t* string)
{
    const WriteResult result = writeString(printerName, hPrinter, HKEY_CURRENT_USER, valueName, string);
    if (!isPrinterTarget(printerName, hPrinter)) {
        if (result.failure == WriteFailure::Create)
            VRC_REPORT("**ERROR** : Failed to create registry value '%S'. GetLastError() = %d", valueName,
                       static_cast<int>(result.status));
        else if (result.failure == WriteFailure::Set)
            VRC_REPORT("**ERROR** : Failed to set registry value '%S'. GetLastError() = %d", valueName,
                       static_cast<int>(result.status));
    }
    return result.failure == WriteFailure::None;
}

int VRC_SetMachineStringValue(const wchar_t* printerName, HANDLE hPrinter, const wchar_t* valueName,
                              const wchar_t* string)
{
    return writeString(printerName, hPrinter, HKEY_LOCAL_MACHINE, valueName, string).failure == WriteFailure::None;
}

int VRC_SetUserQwordValue(const wchar_t* valueName, ULONGLONG value)
{
    return writeSettingsValue(HKEY_CURRENT_USER, valueName, REG_QWORD, &value, sizeof value).failure ==
           WriteFailure::None;
}

int VRC_DeleteValue(const wchar_t* printerName, HANDLE hPrinter, const wchar_t* valueName, int perUser)
{
    const auto gone = [](DWORD status) { return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND; };
    if (isPrinterTarget(printerName, hPrinter)) {
        Spooler spooler;
        return gone(onPrinter(printerName, hPrinter, kPrinterWriteRights, spooler,
                              [&](HANDLE target) { return VRC_DeletePrinterData(target, valueName); }, gone));
    }
    HKEY opened = nullptr;
    if (RegOpenKeyExW(hiveOf(perUser), kSettingsKey, 0, kDeleteRights, &opened) != ERROR_SUCCESS) return 0;
    vr::UniqueRegistryKey key(opened);
    return gone(static_cast<DWORD>(RegDeleteValueW(key.get(), valueName)));
}

int VRC_DeleteUserValue(const wchar_t* printerName, HANDLE hPrinter, const wchar_t* valueName)
{
    return VRC_DeleteValue(printerName, hPrinter, valueName, 1);
}

DWORD VRC_DeletePrinterData(HANDLE hPrinter, const wchar_t* valueName)
{
    if (deletePrinterDataReplacement) return deletePrinterDataReplacement(hPrinter, valueName);
    UniqueLibrary spooler(LoadLibraryW(L"WINSPOOL.DRV"));
    if (!spooler) return 1;
    const auto deletePrinterData = bind<decltype(&DeletePrinterDataW)>(spooler.get(), "DeletePrinterDataW");
    if (!deletePrinterData) return 1;
    return deletePrinterData(hPrinter, const_cast<wchar_t*>(valueName));
}

// ---- probes ---------------------------------------------------------------------------------

int VRC_MachineKeyNotWritable(void)
{
    HKEY created = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE, kWriteRights, nullptr,
                        &created, nullptr) != ERROR_SUCCESS)
        return 1;
    RegCloseKey(created);
    return 0;
}

int VRC_IsWow64(void)
{
    using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, PBOOL);
    const HMODULE kernel = GetModuleHandleW(L"kernel32");
    if (!kernel) return 0;
    const auto isWow64Process = bind<IsWow64ProcessFunction>(kernel, "IsWow64Process");
    BOOL wow64 = FALSE;
    if (isWow64Process) isWow64Process(GetCurrentProcess(), &wow64);
    return wow64;
}

int VRC_IsNativeAMD64(void)
{
    SYSTEM_INFO info{};
    GetNativeSystemInfo(&info);
    return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
}

// ---- known settings -------------------------------------------------------------------------

int VRC_GetEnableUserAuth(void) { return static_cast<int>(readSetting(kEnableUserAuth)); }
int VRC_GetCoverBarcode(void) { return static_cast<int>(readSetting(kCoverBarcode)); }
int VRC_GetIgnoreCert(void) { return static_cast<int>(readSetting(kIgnoreCert)); }
int VRC_SetIgnoreCert(DWORD value) { return writeSetting(kIgnoreCert, value, true); }
int VRC_GetAlwaysUseNTLMProxy(void) { return static_cast<int>(readSetting(kAlwaysUseNtlmProxy)); }
int VRC_GetLitechTimeout(DWORD* timeout) { return readOptionalSetting(kLitechTimeout, timeout); }
int VRC_GetPostRenderEndJobTimeout(DWORD* seconds) { return readOptionalSetting(kPostRenderEndJobTimeout, seconds); }
DWORD VRC_GetSessions(void) { return readSetting(kSessions); }

int VRC_GetOverrideColorSettings(void) { return static_cast<int>(readSetting(kOverrideColorSettings)); }
int VRC_SetOverrideColorSettings(DWORD value)
{
    return VRC_SetUserDwordValue(nullptr, nullptr, kOverrideColorSettings.name, value);
}
int VRC_DisableOverrideColorSettings(void) { return VRC_SetOverrideColorSettings(0); }
int VRC_EnableOverrideColorSettings(void) { return VRC_SetOverrideColorSettings(1); }

DWORD VRC_GetPrinterAttribs(void)
{
    DWORD stored = 0;
    const bool read = VRC_GetDwordValue(nullptr, nullptr, kUseRawPrinterAttribs.name, &stored, 0) != 0;
    return printerAttributes(read, stored, read ? false : VRC_IsNativeAMD64() != 0);
}

DWORD VRC_GetPluginCacheCount(void) { return readSetting(kPluginCacheCount); }
int VRC_SetPluginCacheCount(DWORD value) { return writeSetting(kPluginCacheCount, value, false); }
int VRC_GetPluginCacheEnabled(void) { return static_cast<int>(readSetting(kPluginCacheEnabled)); }
int VRC_SetPluginCacheEnabled(DWORD value) { return writeSetting(kPluginCacheEnabled, value, false); }
int VRC_DisablePluginCache(void) { return VRC_SetPluginCacheEnabled(0); }
int VRC_EnablePluginCache(void) { return VRC_SetPluginCacheEnabled(1); }

int VRC_GetProxyEnabled(void) { return static_cast<int>(readSetting(kProxyEnabled)); }
// Always the user hive, also in server mode where the getter reads the machine hive.
int VRC_SetProxyEnabled(DWORD value) { return writeSetting(kProxyEnabled, value, true); }
int VRC_GetProxyIsNTLM(void) { return static_cast<int>(readSetting(kProxyIsNtlm)); }
int VRC_SetProxyIsNTLM(DWORD value) { return writeSetting(kProxyIsNtlm, value, !serverMode()); }

int VRC_IsServerMode(void) { return static_cast<int>(readSetting(kServer)); }
int VRC_SetServerMode(DWORD value) { return writeSetting(kServer, value, false); }
int VRC_DisableServerMode(void) { return VRC_SetServerMode(0); }
int VRC_EnableServerMode(void) { return VRC_SetServerMode(1); }

int VRC_GetUseAltDuplex(void) { return static_cast<int>(readSetting(kUseAltDuplex)); }
int VRC_SetUseAltDuplex(DWORD value) { return VRC_SetUserDwordValue(nullptr, nullptr, kUseAltDuplex.name, value); }
int VRC_DisableAltDuplex(void) { return VRC_SetUseAltDuplex(0); }
int VRC_EnableAltDuplex(void) { return VRC_SetUseAltDuplex(1); }

int VRC_GetProxyWPADEnabled(void) { return static_cast<int>(readSetting(kProxyWpadEnabled)); }
int VRC_SetProxyWPADEnabled(DWORD value) { return writeSetting(kProxyWpadEnabled, value, true); }

int VRC_GetProduct(wchar_t* buffer, DWORD bufferBytes)
{
    if (VRC_GetStringValue(nullptr, nullptr, kProductValue, buffer, bufferBytes, 1)) return 1;
    if (buffer && bufferBytes) fillDefaultProduct(std::span<wchar_t>(buffer, bufferBytes / sizeof(wchar_t)));
    return 0;
}

int VRC_GetIgnoreUpgradesUptoVersion(wchar_t* buffer, DWORD bufferBytes)
{
    if (!buffer || bufferBytes < 2) {
        VRC_REPORT("**ERROR** : Cannot get '%s' registry value because output string buffer is NULL or too small.",
                   "IgnoreUpgradesUptoVersion");
        return 0;
    }
    if (VRC_GetStringValue(nullptr, nullptr, kIgnoreUpgradesValue, buffer, bufferBytes, 1)) return 1;
    VRC_REPORT("**WARNING** : Unable to get '%s' registry value. Maybe it is not yet set.",
               "IgnoreUpgradesUptoVersion");
    return 0;
}

int VRC_SetIgnoreUpgradesUptoVersion(const wchar_t* version)
{
    const int stored = VRC_SetUserStringValue(nullptr, nullptr, kIgnoreUpgradesValue, version ? version : L"");
    if (stored)
        VRC_REPORT("Updated registry value for '%s'.", "IgnoreUpgradesUptoVersion");
    else
        VRC_REPORT("**ERROR** : Could not set registry value for '%s'.", "IgnoreUpgradesUptoVersion");
    return stored;
}

// ---- folders ------------------------------------------------------------------------------------

int VRC_GetInstallPath(wchar_t* buffer, DWORD capacity)
{
    if (!buffer || capacity < 2) return 0;
    // A stored installation folder is trusted as it is.
    if (VRC_GetStringValue(nullptr, nullptr, kInstallPathValue, buffer, bytesOf(capacity), 0)) return 1;

    const DWORD length = GetEnvironmentVariableW(L"ProgramFiles", buffer, capacity);
    if (length == 0 || length >= capacity) return failFolder(buffer, capacity);
    if (!productPathFits(length, capacity)) return failFolder(buffer, capacity);
    WideText path = WideText::adopt(callerBuffer(buffer, capacity));
    if (!path.append(L"\\") || !path.append(kCompanyFolder) || !path.append(L"\\") || !path.append(kProductFolder))
        return failFolder(buffer, capacity);

    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(path.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return failFolder(buffer, capacity);
    FindClose(search);
    return 1;
}

int VRC_GetLogsFolder(wchar_t* buffer, DWORD capacity)
{
    if (!VRC_IsServerMode()) return failFolder(buffer, capacity);
    if (!buffer || capacity < 2) return 0;
    const EnvironmentValue logs = readMachineEnvironment(L"NVS_DATA_LOGS");
    if (!logs.found) return failFolder(buffer, capacity);

    WideText path(callerBuffer(buffer, capacity));
    if (!path.assign(logs.text)) return failFolder(buffer, capacity);
    if (!logsPathFits(path.length(), capacity)) return failFolder(buffer, capacity);
    path.append(L"\\");
    path.append(kProductFolder);
    // Only the product level is created: the folder NVS_DATA_LOGS names must exist.
    if (!createFolder(path.c_str())) return failFolder(buffer, capacity);
    return 1;
}

int VRC_GetUserDataFolder(wchar_t* buffer, DWORD capacity)
{
    if (!buffer || capacity < 2) return 0;
    const EnvironmentValue root = readMachineEnvironment(L"NVS_DATA_ROOT");
    const bool server = serverMode();
    const bool userPathRead =
        VRC_GetStringValue(nullptr, nullptr, kUserPathValue, buffer, bytesOf(capacity), 0) != 0;

    const auto span = callerBuffer(buffer, capacity);
    WideText path(span.first(0));
    const bool companyLevel = !(server && root.found);
    if (server && root.found) {
        path = WideText(span);
        if (!path.assign(root.text)) return failFolder(buffer, capacity);
    } else if (!server && userPathRead) {
        path = WideText::adopt(span);
    } else {
        wchar_t shell[MAX_PATH];
        if (!shellFolder(server ? CSIDL_COMMON_APPDATA : CSIDL_LOCAL_APPDATA, shell))
            return failFolder(buffer, capacity);
        path = WideText(span);
        if (!path.assign(shell)) return failFolder(buffer, capacity);
    }

    if (!productPathFits(path.length(), capacity)) return failFolder(buffer, capacity);
    if (companyLevel) {
        path.append(L"\\");
        path.append(kCompanyFolder);
        if (!createFolder(path.c_str())) return failFolder(buffer, capacity);
    }
    path.append(L"\\");
    path.append(kProductFolder);
    if (!createFolder(path.c_str())) return failFolder(buffer, capacity);
    return 1;
}

int VRC_GetSpoolFolder(wchar_t* buffer, DWORD capacity)
{
    if (!buffer || capacity < 2) return 0;
    if (!VRC_GetUserDataFolder(buffer, capacity)) {
        VRC_REPORT("**ERROR** : Failed to get user path. Therefore cannot determine spool path.");
        return 0;
    }
    WideText path = WideText::adopt(callerBuffer(buffer, capacity));
    if (!spoolSeparatorFits(path.length(), capacity)) {
        VRC_REPORT("**ERROR** : Failed to get spool path because buffer is too small.");
        return failFolder(buffer, capacity);
    }
    path.append(L"\\");
    if (!spoolNameFits(path.length(), capacity)) {
        VRC_REPORT("**ERROR** : Failed to get spool path because the buffer is too small.");
        return failFolder(buffer, capacity);
    }
    path.append(kSpoolFolder);
    if (!createFolder(path.c_str())) {
        VRC_REPORT("**ERROR** : Failed to get spool path because cannot create spool directory.");
        return failFolder(buffer, capacity);
    }
    return 1;
}

}  // extern "C"
