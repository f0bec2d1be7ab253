// The known settings: one getter (and setter) per value of the settings key,
// each reading its value in its hive and turning the stored number into its
// result by the rules of the settings table.
#include "vrcommon.h"

#include <span>

#include "platform/report.h"
#include "settings/core/settings_rules.h"

namespace {

using namespace vr::settings;

bool serverMode() noexcept { return VRC_IsServerMode() != 0; }

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
    if (out)
        *out = settingResult(setting, true, stored);
    return 1;
}

int writeSetting(const DwordSetting& setting, DWORD value, bool user) noexcept
{
    return VRC_SetDwordValue(nullptr, nullptr, setting.name, value, user ? 1 : 0);
}

}  // namespace

extern "C" {

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
    if (VRC_GetStringValue(nullptr, nullptr, kProductValue, buffer, bufferBytes, 1))
        return 1;
    if (buffer && bufferBytes)
        fillDefaultProduct(std::span<wchar_t>(buffer, bufferBytes / sizeof(wchar_t)));
    return 0;
}

int VRC_GetIgnoreUpgradesUptoVersion(wchar_t* buffer, DWORD bufferBytes)
{
    if (!buffer || bufferBytes < 2) {
        VRC_REPORT("**ERROR** : Cannot get '%s' registry value because output string buffer is NULL or too small.",
                   "IgnoreUpgradesUptoVersion");
        return 0;
    }
    if (VRC_GetStringValue(nullptr, nullptr, kIgnoreUpgradesValue, buffer, bufferBytes, 1))
        return 1;
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

}  // extern "C"
