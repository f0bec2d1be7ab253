// The settings store: typed values in the product's settings key under HKLM or
// the calling thread's user's hive, or in a printer's own printer data when a
// printer is named.
//
// Every call opens and closes its own registry keys (the user's hive
// included) and printer handles; nothing is kept between calls and nothing is
// locked.
#include "vrcommon.h"

#include <string_view>

#include "platform/current_user_hive.h"
#include "platform/handles.h"
#include "platform/system_library.h"
#include "platform/report.h"
#include "settings/core/settings_rules.h"
#include "settings/settings_seams.h"
#include "settings/printer_target.h"

namespace {

using namespace vr::settings;

constexpr REGSAM kReadRights = KEY_QUERY_VALUE;
constexpr REGSAM kWriteRights = KEY_WRITE;
constexpr REGSAM kDeleteRights = KEY_ALL_ACCESS;
constexpr DWORD kPrinterReadRights = PRINTER_ACCESS_USE;
constexpr DWORD kPrinterWriteRights = PRINTER_ALL_ACCESS;

// HKEY_LOCAL_MACHINE, or the hive of the user the calling thread runs as,
// opened for this call. A user's hive that cannot be opened fails the call:
// the process's HKEY_CURRENT_USER may be another user's.
class SettingsHive {
public:
    explicit SettingsHive(bool perUser) noexcept
        : user_(perUser ? vr::platform::openCurrentUserHive() : vr::platform::CurrentUserHive{nullptr, ERROR_SUCCESS}),
          hive_(perUser ? user_.key.get() : HKEY_LOCAL_MACHINE)
    {}
    HKEY get() const noexcept { return hive_; }
    LSTATUS status() const noexcept { return user_.status; }

private:
    vr::platform::CurrentUserHive user_;
    HKEY hive_;
};

struct ReadResult {
    LSTATUS status;
    bool fromValueQuery;  // the status came from the value query, not the open
};

ReadResult readSettingsValue(const wchar_t* valueName, void* buffer, DWORD* size, int perUser,
                             bool sixtyFourBitView) noexcept
{
    REGSAM rights = kReadRights;
    if (sixtyFourBitView && VRC_IsWow64())
        rights |= KEY_WOW64_64KEY;
    const SettingsHive hive(perUser != 0);
    if (hive.status() != ERROR_SUCCESS)
        return {hive.status(), false};
    vr::UniqueRegistryKey key;
    const LSTATUS open = RegOpenKeyExW(hive.get(), VRC_SETTINGS_KEY, 0, rights, vr::put(key));
    if (open != ERROR_SUCCESS)
        return {open, false};
    return {RegQueryValueExW(key.get(), valueName, nullptr, nullptr, static_cast<BYTE*>(buffer), size), true};
}

enum class WriteFailure { None, Create, Set };

struct WriteResult {
    LSTATUS status;
    WriteFailure failure;
};

WriteResult writeSettingsValue(bool perUser, const wchar_t* valueName, DWORD type, const void* data,
                               DWORD size) noexcept
{
    const SettingsHive hive(perUser);
    if (hive.status() != ERROR_SUCCESS)
        return {hive.status(), WriteFailure::Create};
    vr::UniqueRegistryKey key;
    const LSTATUS create = RegCreateKeyExW(hive.get(), VRC_SETTINGS_KEY, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                           kWriteRights, nullptr, vr::put(key), nullptr);
    if (create != ERROR_SUCCESS)
        return {create, WriteFailure::Create};
    const LSTATUS set = RegSetValueExW(key.get(), valueName, 0, type, static_cast<const BYTE*>(data), size);
    return {set, set == ERROR_SUCCESS ? WriteFailure::None : WriteFailure::Set};
}

// The writers' printer steps, then the settings key of the user's or the machine's hive.
WriteResult writeValue(const wchar_t* printerName, HANDLE printer, bool perUser, const wchar_t* valueName, DWORD type,
                       const void* data, DWORD size) noexcept
{
    if (isPrinterTarget(printerName, printer)) {
        Spooler spooler;
        const DWORD status = onPrinter(
            printerName, printer, kPrinterWriteRights, spooler,
            [&](HANDLE target) { return spooler.setData(target, valueName, type, data, size); },
            [](DWORD result) { return result == ERROR_SUCCESS; });
        return {static_cast<LSTATUS>(status), status == ERROR_SUCCESS ? WriteFailure::None : WriteFailure::Set};
    }
    return writeSettingsValue(perUser, valueName, type, data, size);
}

std::wstring_view storedText(const wchar_t* text) noexcept
{
    return text ? std::wstring_view(text) : std::wstring_view(L"", 0);
}

DWORD storedTextBytes(std::wstring_view text) noexcept
{
    return static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
}

WriteResult writeString(const wchar_t* printerName, HANDLE printer, bool perUser, const wchar_t* valueName,
                        const wchar_t* string) noexcept
{
    const std::wstring_view text = storedText(string);
    return writeValue(printerName, printer, perUser, valueName, REG_SZ, text.data(), storedTextBytes(text));
}

}  // namespace

// Tests replace the spooler's DeletePrinterDataW, which not every spooler implements.
namespace vr::settings {
namespace {
DeletePrinterDataFunction deletePrinterDataReplacement = nullptr;
}
void setDeletePrinterData(DeletePrinterDataFunction function) noexcept { deletePrinterDataReplacement = function; }
}  // namespace vr::settings

extern "C" {

int VRC_GetDwordValue(const wchar_t* printerName, HANDLE hPrinter, const wchar_t* valueName, DWORD* value, int perUser)
{
    DWORD stored = value ? *value : 0;  // a value shorter than 4 bytes leaves the rest as it was
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
    if (status != ERROR_SUCCESS)
        return 0;
    if (value)
        *value = stored;
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
        DWORD queryStatus = MAXDWORD;  // the status of the last printer-data query, if one ran
        status = static_cast<LSTATUS>(onPrinter(
            printerName, hPrinter, kPrinterReadRights, spooler,
            [&](HANDLE target) {
                const DWORD result = spooler.getData(target, valueName, buffer, bufferBytes, &bytesRead);
                if (spooler.status() == 0)
                    queryStatus = result;
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
        status = ERROR_MORE_DATA;  // the stored text fills the buffer and has no NUL
        fromValueQuery = true;
    }
    if (status == ERROR_SUCCESS)
        return 1;
    if (!(status == ERROR_FILE_NOT_FOUND && fromValueQuery))
        VRC_REPORT("**ERROR** : Failed to access registry key '%S'. GetLastError() = %d", valueName,
                   static_cast<int>(status));
    return 0;
}

DWORD VRC_GetValueData(const wchar_t* printerName, HANDLE hPrinter, const wchar_t* valueName, void* buffer, DWORD* size,
                       int perUser)
{
    if (!valueName || !size)
        return ERROR_INVALID_PARAMETER;
    if (isPrinterTarget(printerName, hPrinter)) {
        Spooler spooler;
        const DWORD capacity = *size;
        return onPrinter(
            printerName, hPrinter, kPrinterReadRights, spooler,
            [&](HANDLE target) {
                DWORD needed = 0;
                const DWORD status = spooler.getData(target, valueName, buffer, capacity, &needed);
                if (spooler.status() == 0)
                    *size = needed;
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
    if (readSettingsValue(valueName, &stored, &size, perUser, false).status != ERROR_SUCCESS)
        return 0;
    if (value)
        *value = stored;
    return 1;
}

int VRC_SetDwordValue(const wchar_t* printerName, HANDLE hPrinter, const wchar_t* valueName, DWORD value, int perUser)
{
    return writeValue(printerName, hPrinter, perUser != 0, valueName, REG_DWORD, &value, sizeof value).failure ==
           WriteFailure::None;
}

int VRC_SetUserDwordValue(const wchar_t* printerName, HANDLE hPrinter, const wchar_t* valueName, DWORD value)
{
    return VRC_SetDwordValue(printerName, hPrinter, valueName, value, 1);
}

int VRC_SetBinaryValue(const wchar_t* printerName, HANDLE hPrinter, const wchar_t* valueName, const void* data,
                       DWORD byteCount, int perUser)
{
    if (!data)
        return 0;
    return writeValue(printerName, hPrinter, perUser != 0, valueName, REG_BINARY, data, byteCount).failure ==
           WriteFailure::None;
}

int VRC_SetUserBinaryValue(const wchar_t* printerName, HANDLE hPrinter, const wchar_t* valueName, const void* data,
                           DWORD byteCount)
{
    return VRC_SetBinaryValue(printerName, hPrinter, valueName, data, byteCount, 1);
}

int VRC_SetUserStringValue(const wchar_t* printerName, HANDLE hPrinter, const wchar_t* valueName, const wchar_t* string)
{
    const WriteResult result = writeString(printerName, hPrinter, true, valueName, string);
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
    return writeString(printerName, hPrinter, false, valueName, string).failure == WriteFailure::None;
}

int VRC_SetUserQwordValue(const wchar_t* valueName, ULONGLONG value)
{
    return writeSettingsValue(true, valueName, REG_QWORD, &value, sizeof value).failure == WriteFailure::None;
}

int VRC_DeleteValue(const wchar_t* printerName, HANDLE hPrinter, const wchar_t* valueName, int perUser)
{
    const auto gone = [](DWORD status) { return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND; };
    if (isPrinterTarget(printerName, hPrinter)) {
        Spooler spooler;
        return gone(onPrinter(
            printerName, hPrinter, kPrinterWriteRights, spooler,
            [&](HANDLE target) { return VRC_DeletePrinterData(target, valueName); }, gone));
    }
    const SettingsHive hive(perUser != 0);
    vr::UniqueRegistryKey key;
    if (hive.status() != ERROR_SUCCESS ||
        RegOpenKeyExW(hive.get(), VRC_SETTINGS_KEY, 0, kDeleteRights, vr::put(key)) != ERROR_SUCCESS)
        return 0;
    return gone(static_cast<DWORD>(RegDeleteValueW(key.get(), valueName)));
}

int VRC_DeleteUserValue(const wchar_t* printerName, HANDLE hPrinter, const wchar_t* valueName)
{
    return VRC_DeleteValue(printerName, hPrinter, valueName, 1);
}

DWORD VRC_DeletePrinterData(HANDLE hPrinter, const wchar_t* valueName)
{
    if (deletePrinterDataReplacement)
        return deletePrinterDataReplacement(hPrinter, valueName);
    vr::UniqueLibrary spooler(vr::platform::loadSystemLibrary(L"WINSPOOL.DRV"));
    if (!spooler)
        return 1;
    const auto deletePrinterData = vr::bind<decltype(&DeletePrinterDataW)>(spooler.get(), "DeletePrinterDataW");
    if (!deletePrinterData)
        return 1;
    return deletePrinterData(hPrinter, const_cast<wchar_t*>(valueName));
}

int VRC_MachineKeyNotWritable(void)
{
    vr::UniqueRegistryKey key;
    return RegCreateKeyExW(HKEY_LOCAL_MACHINE, VRC_SETTINGS_KEY, 0, nullptr, REG_OPTION_NON_VOLATILE, kWriteRights,
                           nullptr, vr::put(key), nullptr) != ERROR_SUCCESS
               ? 1
               : 0;
}

}  // extern "C"
