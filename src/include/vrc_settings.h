// Settings and folders: typed access to the product's registry settings
// (machine-wide or per user, or a printer's own printer data when a printer is
// named), one getter per known setting, and the product's data, log, spool and
// installation folders.
//
// Settings live under HKLM or HKCU "SOFTWARE\Norvessa Corporation\Veranto 6.2\".
// `perUser` nonzero selects the user hive. When `printerName` or `hPrinter` is
// given, the value is that printer's printer data and the settings key is not
// touched. Results are 1/0 unless stated; failures are reported in the driver log.
//
// Threads: any number of threads may call any of these at once. Every call
// opens and closes its own keys and printer handles and keeps nothing, so
// nothing here is per module. `perUser` is the calling thread's user: an
// impersonating thread reads and writes that user's hive.
#pragma once

// The declarations are aligned in columns for reading: kept as written.
// clang-format off

#include <windows.h>   // the public headers may include windows.h

// The product's settings key, under HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER.
#define VRC_SETTINGS_KEY L"SOFTWARE\\Norvessa Corporation\\Veranto 6.2\\"

#ifdef __cplusplus
extern "C" {
#endif

// ---- generic accessors ------------------------------------------------------
int   VRC_GetDwordValue(const wchar_t* printerName, HANDLE hPrinter, const wchar_t* valueName,
                        DWORD* value, int perUser);
// bufferBytes is a size in BYTES. A text that is read always comes back
// NUL-terminated; a stored text that fills the whole buffer without a NUL fails.
int   VRC_GetStringValue(const wchar_t* printerName, HANDLE hPrinter, const wchar_t* valueName,
                         wchar_t* buffer, DWORD bufferBytes, int perUser);
// Returns the Win32 status (0 = read). *size: in, the buffer's size in bytes;
// out, the size the platform reports (the needed size with ERROR_MORE_DATA).
DWORD VRC_GetValueData(const wchar_t* printerName, HANDLE hPrinter, const wchar_t* valueName,
                       void* buffer, DWORD* size, int perUser);
int   VRC_GetQwordValue(const wchar_t* valueName, ULONGLONG* value, int perUser);

int   VRC_SetDwordValue(const wchar_t* printerName, HANDLE hPrinter, const wchar_t* valueName,
                        DWORD value, int perUser);
int   VRC_SetUserDwordValue(const wchar_t* printerName, HANDLE hPrinter, const wchar_t* valueName,
                            DWORD value);
int   VRC_SetBinaryValue(const wchar_t* printerName, HANDLE hPrinter, const wchar_t* valueName,
                         const void* data, DWORD byteCount, int perUser);
int   VRC_SetUserBinaryValue(const wchar_t* printerName, HANDLE hPrinter, const wchar_t* valueName,
                             const void* data, DWORD byteCount);
// A null string is stored as the empty string.
int   VRC_SetUserStringValue(const wchar_t* printerName, HANDLE hPrinter, const wchar_t* valueName,
                             const wchar_t* string);
int   VRC_SetMachineStringValue(const wchar_t* printerName, HANDLE hPrinter, const wchar_t* valueName,
                                const wchar_t* string);
int   VRC_SetUserQwordValue(const wchar_t* valueName, ULONGLONG value);

// 1 when the value is gone afterwards (deleted, or it was not there).
int   VRC_DeleteValue(const wchar_t* printerName, HANDLE hPrinter, const wchar_t* valueName, int perUser);
int   VRC_DeleteUserValue(const wchar_t* printerName, HANDLE hPrinter, const wchar_t* valueName);
// The spooler's status; 1 when the spooler's DeletePrinterDataW cannot be bound.
DWORD VRC_DeletePrinterData(HANDLE hPrinter, const wchar_t* valueName);

// ---- probes -----------------------------------------------------------------
int   VRC_MachineKeyNotWritable(void);   // 1 when the machine settings key cannot be opened for writing
int   VRC_IsWow64(void);
int   VRC_IsNativeAMD64(void);

// ---- known settings ---------------------------------------------------------
int   VRC_GetEnableUserAuth(void);
int   VRC_GetCoverBarcode(void);
int   VRC_GetIgnoreCert(void);
int   VRC_SetIgnoreCert(DWORD value);
int   VRC_GetAlwaysUseNTLMProxy(void);
int   VRC_GetLitechTimeout(DWORD* timeout);                 // 1 and *timeout when set
int   VRC_GetPostRenderEndJobTimeout(DWORD* seconds);       // 1 and *seconds when set
DWORD VRC_GetSessions(void);
int   VRC_GetOverrideColorSettings(void);
int   VRC_SetOverrideColorSettings(DWORD value);
int   VRC_DisableOverrideColorSettings(void);
int   VRC_EnableOverrideColorSettings(void);
DWORD VRC_GetPrinterAttribs(void);                          // PRINTER_ATTRIBUTE_* mask
DWORD VRC_GetPluginCacheCount(void);
int   VRC_SetPluginCacheCount(DWORD value);
int   VRC_GetPluginCacheEnabled(void);
int   VRC_SetPluginCacheEnabled(DWORD value);
int   VRC_DisablePluginCache(void);
int   VRC_EnablePluginCache(void);
int   VRC_GetProxyEnabled(void);
int   VRC_SetProxyEnabled(DWORD value);
int   VRC_GetProxyIsNTLM(void);
int   VRC_SetProxyIsNTLM(DWORD value);
int   VRC_IsServerMode(void);
int   VRC_SetServerMode(DWORD value);
int   VRC_DisableServerMode(void);
int   VRC_EnableServerMode(void);
int   VRC_GetUseAltDuplex(void);
int   VRC_SetUseAltDuplex(DWORD value);
int   VRC_DisableAltDuplex(void);
int   VRC_EnableAltDuplex(void);
int   VRC_GetProxyWPADEnabled(void);
int   VRC_SetProxyWPADEnabled(DWORD value);
// Sizes in bytes. Without a stored Product the buffer receives "VRC".
int   VRC_GetProduct(wchar_t* buffer, DWORD bufferBytes);
int   VRC_GetIgnoreUpgradesUptoVersion(wchar_t* buffer, DWORD bufferBytes);
int   VRC_SetIgnoreUpgradesUptoVersion(const wchar_t* version);

// ---- folders (capacities in characters, NUL included) ----------------------
int   VRC_GetInstallPath(wchar_t* buffer, DWORD capacity);
int   VRC_GetLogsFolder(wchar_t* buffer, DWORD capacity);      // server mode only
int   VRC_GetUserDataFolder(wchar_t* buffer, DWORD capacity);
int   VRC_GetSpoolFolder(wchar_t* buffer, DWORD capacity);

#ifdef __cplusplus
}
#endif
// clang-format on
