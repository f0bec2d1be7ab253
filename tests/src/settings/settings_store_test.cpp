// The settings store against the real registry. Every test starts without the
// settings keys and leaves the registry as it found it.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/current_user_hive.h"
#include "platform/platform_seams.h"
#include "trace/core/trace_context.h"
#include "trace/tracer_seams.h"
#include "driver_log_capture.h"
#include "other_user.h"
#include "registry_state.h"
#include "text.h"
#include "vrcommon.h"

using namespace vr::test;

namespace {

class SettingsStore : public ::testing::Test {
protected:
    CleanSettings clean_;
};

}  // namespace

TEST_F(SettingsStore, ValuesRoundTripInTheirHive)
{
    EXPECT_EQ(VRC_SetDwordValue(nullptr, nullptr, L"Probe", 11, 0), 1);
    EXPECT_EQ(VRC_SetUserDwordValue(nullptr, nullptr, L"Probe", 22), 1);
    DWORD machine = 0, user = 0;
    EXPECT_EQ(VRC_GetDwordValue(nullptr, nullptr, L"Probe", &machine, 0), 1);
    EXPECT_EQ(VRC_GetDwordValue(nullptr, nullptr, L"Probe", &user, 1), 1);
    EXPECT_EQ(machine, 11u);
    EXPECT_EQ(user, 22u);

    EXPECT_EQ(VRC_SetUserQwordValue(L"Big", 0x1122334455667788ull), 1);
    ULONGLONG big = 0;
    EXPECT_EQ(VRC_GetQwordValue(L"Big", &big, 1), 1);
    EXPECT_EQ(big, 0x1122334455667788ull);
    EXPECT_EQ(VRC_GetQwordValue(L"Big", &big, 0), 0);
    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_TRUE(readValue(HKEY_CURRENT_USER, kSettingsKey, L"Big", &type, &data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_QWORD));

    const BYTE blob[] = {1, 2, 0, 4, 5};
    EXPECT_EQ(VRC_SetBinaryValue(nullptr, nullptr, L"Blob", nullptr, 5, 0), 0);
    EXPECT_EQ(VRC_SetUserBinaryValue(nullptr, nullptr, L"Blob", blob, sizeof blob), 1);
    ASSERT_TRUE(readValue(HKEY_CURRENT_USER, kSettingsKey, L"Blob", &type, &data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(data, std::vector<BYTE>(blob, blob + sizeof blob));
    EXPECT_FALSE(hasSetting(HKEY_LOCAL_MACHINE, L"Blob"));
}

TEST_F(SettingsStore, StringsAreStoredWithTheirNul)
{
    EXPECT_EQ(VRC_SetUserStringValue(nullptr, nullptr, L"Text", nullptr), 1);
    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_TRUE(readValue(HKEY_CURRENT_USER, kSettingsKey, L"Text", &type, &data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(data, std::vector<BYTE>(2, 0));

    EXPECT_EQ(VRC_SetMachineStringValue(nullptr, nullptr, L"Text", L"machine"), 1);
    ASSERT_TRUE(readValue(HKEY_LOCAL_MACHINE, kSettingsKey, L"Text", &type, &data));
    EXPECT_EQ(data, stringBytes(L"machine"));

    wchar_t buffer[16];
    EXPECT_EQ(VRC_GetStringValue(nullptr, nullptr, L"Text", buffer, sizeof buffer, 0), 1);
    EXPECT_STREQ(buffer, L"machine");
}

TEST_F(SettingsStore, StoredTextsWithoutNulComeBackTerminatedOrFail)
{
    // "abcd" without its NUL, as another program might store it.
    setValue(HKEY_LOCAL_MACHINE, kSettingsKey, L"Raw", REG_SZ, L"abcd", 8);
    wchar_t buffer[8];
    std::memset(buffer, 0xCC, sizeof buffer);
    EXPECT_EQ(VRC_GetStringValue(nullptr, nullptr, L"Raw", buffer, sizeof buffer, 0), 1);
    EXPECT_STREQ(buffer, L"abcd");

    // Exactly filling the buffer would leave no terminator: refused.
    std::memset(buffer, 0xCC, sizeof buffer);
    EXPECT_EQ(VRC_GetStringValue(nullptr, nullptr, L"Raw", buffer, 8, 0), 0);
}

TEST_F(SettingsStore, ValueDataReportsStatusAndNeededSize)
{
    setSettingString(HKEY_CURRENT_USER, L"Text", L"twelve chars");
    BYTE small[4];
    DWORD size = sizeof small;
    EXPECT_EQ(VRC_GetValueData(nullptr, nullptr, L"Text", small, &size, 1), static_cast<DWORD>(ERROR_MORE_DATA));
    EXPECT_EQ(size, 26u);

    std::vector<BYTE> big(size);
    EXPECT_EQ(VRC_GetValueData(nullptr, nullptr, L"Text", big.data(), &size, 1), 0u);
    EXPECT_EQ(big, stringBytes(L"twelve chars"));

    EXPECT_EQ(VRC_GetValueData(nullptr, nullptr, nullptr, big.data(), &size, 1),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(VRC_GetValueData(nullptr, nullptr, L"Text", big.data(), nullptr, 1),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    size = sizeof small;
    EXPECT_EQ(VRC_GetValueData(nullptr, nullptr, L"Missing", small, &size, 1),
              static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(SettingsStore, DeletingAnAbsentValueSucceedsButNeedsTheKey)
{
    EXPECT_EQ(VRC_DeleteValue(nullptr, nullptr, L"Gone", 0), 0);  // no key at all
    setSettingDword(HKEY_LOCAL_MACHINE, L"Gone", 1);
    EXPECT_EQ(VRC_DeleteValue(nullptr, nullptr, L"Gone", 0), 1);
    EXPECT_FALSE(hasSetting(HKEY_LOCAL_MACHINE, L"Gone"));
    EXPECT_EQ(VRC_DeleteValue(nullptr, nullptr, L"Gone", 0), 1);
    setSettingDword(HKEY_CURRENT_USER, L"Gone", 1);
    EXPECT_EQ(VRC_DeleteUserValue(nullptr, nullptr, L"Gone"), 1);
    EXPECT_FALSE(hasSetting(HKEY_CURRENT_USER, L"Gone"));
}

TEST_F(SettingsStore, GettersGiveTheirDefaultsWithoutTheKeys)
{
    EXPECT_EQ(VRC_GetEnableUserAuth(), 1);
    EXPECT_EQ(VRC_GetCoverBarcode(), 0);
    EXPECT_EQ(VRC_GetIgnoreCert(), 1);
    EXPECT_EQ(VRC_GetAlwaysUseNTLMProxy(), 0);
    DWORD timeout = 77;
    EXPECT_EQ(VRC_GetLitechTimeout(&timeout), 0);
    EXPECT_EQ(VRC_GetPostRenderEndJobTimeout(&timeout), 0);
    EXPECT_EQ(timeout, 77u);
    EXPECT_EQ(VRC_GetSessions(), 100u);
    EXPECT_EQ(VRC_GetOverrideColorSettings(), 1);
    EXPECT_EQ(VRC_GetPrinterAttribs(), VRC_IsNativeAMD64() ? 0x40u : 0x1040u);
    EXPECT_EQ(VRC_GetPluginCacheCount(), 5u);
    EXPECT_EQ(VRC_GetPluginCacheEnabled(), 0);
    EXPECT_EQ(VRC_GetProxyEnabled(), 0);
    EXPECT_EQ(VRC_GetProxyIsNTLM(), 0);
    EXPECT_EQ(VRC_IsServerMode(), 0);
    EXPECT_EQ(VRC_GetUseAltDuplex(), 0);
    EXPECT_EQ(VRC_GetProxyWPADEnabled(), 0);

    wchar_t product[8];
    std::memset(product, 0xCC, sizeof product);
    EXPECT_EQ(VRC_GetProduct(product, sizeof product), 0);
    EXPECT_STREQ(product, L"VRC");
    EXPECT_EQ(product[7], L'\0');
    std::memset(product, 0xCC, sizeof product);
    EXPECT_EQ(VRC_GetProduct(product, 6), 0);  // room for three characters: cut to keep the NUL
    EXPECT_STREQ(product, L"VR");
}

TEST_F(SettingsStore, GettersInterpretStoredNumbers)
{
    setSettingDword(HKEY_LOCAL_MACHINE, L"Sessions", 0);
    setSettingDword(HKEY_LOCAL_MACHINE, L"SS_PluginCacheCount", 0);
    setSettingDword(HKEY_LOCAL_MACHINE, L"SS_EnableUserAuth", 0);
    setSettingDword(HKEY_LOCAL_MACHINE, L"VRC_UseRawPIAttribs", 1);
    setSettingDword(HKEY_LOCAL_MACHINE, L"PostRenderEndJobTimeoutInSeconds", 0);
    setSettingDword(HKEY_CURRENT_USER, L"LitechTimeout", 45);
    setSettingDword(HKEY_CURRENT_USER, L"SS_IgnoreCert", 9);
    setSettingDword(HKEY_CURRENT_USER, L"VRC_UseAltDuplex", 2);
    EXPECT_EQ(VRC_GetSessions(), 100u);
    EXPECT_EQ(VRC_GetPluginCacheCount(), 0u);
    EXPECT_EQ(VRC_GetEnableUserAuth(), 0);
    EXPECT_EQ(VRC_GetPrinterAttribs(), 0x1040u);
    DWORD timeout = 77;
    EXPECT_EQ(VRC_GetPostRenderEndJobTimeout(&timeout), 1);
    EXPECT_EQ(timeout, 0u);
    EXPECT_EQ(VRC_GetLitechTimeout(&timeout), 1);
    EXPECT_EQ(timeout, 45u);
    EXPECT_EQ(VRC_GetIgnoreCert(), 1);
    EXPECT_EQ(VRC_GetUseAltDuplex(), 0);

    // A number stored as the text "1" reads as the bytes '1', NUL: 0x31.
    setSettingString(HKEY_LOCAL_MACHINE, L"Server", L"1");
    setSettingString(HKEY_LOCAL_MACHINE, L"Sessions", L"1");
    EXPECT_EQ(VRC_IsServerMode(), 0);
    EXPECT_EQ(VRC_GetSessions(), 0x31u);
    DWORD raw = 0;
    EXPECT_EQ(VRC_GetDwordValue(nullptr, nullptr, L"Server", &raw, 0), 1);
    EXPECT_EQ(raw, 0x31u);
    // Two characters and the NUL do not fit a DWORD: the default.
    setSettingString(HKEY_LOCAL_MACHINE, L"Sessions", L"12");
    EXPECT_EQ(VRC_GetSessions(), 100u);
    setSettingDword(HKEY_LOCAL_MACHINE, L"VRC_UseRawPIAttribs", 0x31);
    EXPECT_EQ(VRC_GetPrinterAttribs(), 0x40u);
}

TEST_F(SettingsStore, SettersWriteTheHivesTheGettersRead)
{
    EXPECT_EQ(VRC_EnableServerMode(), 1);
    EXPECT_EQ(VRC_IsServerMode(), 1);

    // In server mode the proxy switch is read from the machine, yet set per user.
    EXPECT_EQ(VRC_SetProxyEnabled(1), 1);
    EXPECT_TRUE(hasSetting(HKEY_CURRENT_USER, L"ProxyEnabled"));
    EXPECT_EQ(VRC_GetProxyEnabled(), 0);
    setSettingDword(HKEY_LOCAL_MACHINE, L"ProxyEnabled", 1);
    EXPECT_EQ(VRC_GetProxyEnabled(), 1);
    EXPECT_EQ(VRC_SetProxyIsNTLM(1), 1);
    EXPECT_TRUE(hasSetting(HKEY_LOCAL_MACHINE, L"Proxy_IsNTLM"));
    EXPECT_EQ(VRC_GetProxyIsNTLM(), 1);

    EXPECT_EQ(VRC_DisableServerMode(), 1);
    EXPECT_EQ(VRC_IsServerMode(), 0);
    EXPECT_EQ(VRC_GetProxyEnabled(), 1);  // now the user's value
    EXPECT_EQ(VRC_GetProxyIsNTLM(), 0);
    EXPECT_EQ(VRC_SetProxyIsNTLM(1), 1);
    EXPECT_EQ(VRC_GetProxyIsNTLM(), 1);

    EXPECT_EQ(VRC_SetPluginCacheCount(0), 1);
    EXPECT_TRUE(hasSetting(HKEY_LOCAL_MACHINE, L"SS_PluginCacheCount"));
    EXPECT_EQ(VRC_GetPluginCacheCount(), 0u);
    EXPECT_EQ(VRC_EnablePluginCache(), 1);
    EXPECT_EQ(VRC_GetPluginCacheEnabled(), 1);
    EXPECT_EQ(VRC_DisablePluginCache(), 1);
    EXPECT_EQ(VRC_GetPluginCacheEnabled(), 0);

    EXPECT_EQ(VRC_DisableOverrideColorSettings(), 1);
    EXPECT_EQ(VRC_GetOverrideColorSettings(), 0);
    EXPECT_EQ(VRC_EnableAltDuplex(), 1);
    EXPECT_EQ(VRC_GetUseAltDuplex(), 1);
    EXPECT_EQ(VRC_SetIgnoreCert(0), 1);
    EXPECT_EQ(VRC_GetIgnoreCert(), 0);
    EXPECT_EQ(VRC_SetProxyWPADEnabled(1), 1);
    EXPECT_EQ(VRC_GetProxyWPADEnabled(), 1);
    for (const wchar_t* name :
         {L"VRC_OverrideColorSettings", L"VRC_UseAltDuplex", L"SS_IgnoreCert", L"Proxy_WPAD_Enabled"})
        EXPECT_FALSE(hasSetting(HKEY_LOCAL_MACHINE, name)) << "machine hive written";
}

// ---- every known setting against the raw registry ---------------------------
//
// The names, hives and types below are written out here rather than taken
// from the runtime, so that a misspelt or misplaced setting cannot pass.

namespace {

HKEY otherHive(HKEY hive) { return hive == HKEY_LOCAL_MACHINE ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE; }

const char* hiveName(HKEY hive) { return hive == HKEY_LOCAL_MACHINE ? "machine" : "user"; }

struct StoredSetting {
    const wchar_t* name;
    HKEY hive;
    bool serverMode;  // Server = 1 in the machine settings first
    DWORD stored;  // moves the getter off its default
    std::function<DWORD()> read;  // the getter's result
    DWORD whenStored;
};

DWORD optionalValue(int (*getter)(DWORD*))
{
    DWORD value = 0xFFFFFFFF;
    return getter(&value) ? value : 0xFFFFFFFF;
}

std::vector<StoredSetting> dwordSettings()
{
    const DWORD localAttributes = VRC_IsNativeAMD64() ? 0x40u : 0x1040u;
    return {
        {L"SS_EnableUserAuth", HKEY_LOCAL_MACHINE, false, 0, [] { return DWORD(VRC_GetEnableUserAuth()); }, 0},
        {L"cover_barcode", HKEY_LOCAL_MACHINE, false, 1, [] { return DWORD(VRC_GetCoverBarcode()); }, 1},
        {L"SS_IgnoreCert", HKEY_CURRENT_USER, false, 0, [] { return DWORD(VRC_GetIgnoreCert()); }, 0},
        {L"Proxy_AlwaysUseNTLMProxyForServerIntegrationMode", HKEY_CURRENT_USER, false, 1,
         [] { return DWORD(VRC_GetAlwaysUseNTLMProxy()); }, 1},
        {L"LitechTimeout", HKEY_CURRENT_USER, false, 45, [] { return optionalValue(VRC_GetLitechTimeout); }, 45},
        {L"PostRenderEndJobTimeoutInSeconds", HKEY_LOCAL_MACHINE, false, 90,
         [] { return optionalValue(VRC_GetPostRenderEndJobTimeout); }, 90},
        {L"Sessions", HKEY_LOCAL_MACHINE, false, 7, [] { return VRC_GetSessions(); }, 7},
        {L"VRC_OverrideColorSettings", HKEY_CURRENT_USER, false, 0,
         [] { return DWORD(VRC_GetOverrideColorSettings()); }, 0},
        {L"VRC_UseRawPIAttribs", HKEY_LOCAL_MACHINE, false, localAttributes == 0x40u ? 1u : 0u,
         [] { return VRC_GetPrinterAttribs(); }, localAttributes == 0x40u ? 0x1040u : 0x40u},
        {L"SS_PluginCacheCount", HKEY_LOCAL_MACHINE, false, 3, [] { return VRC_GetPluginCacheCount(); }, 3},
        {L"PluginCacheEnabled", HKEY_LOCAL_MACHINE, false, 1, [] { return DWORD(VRC_GetPluginCacheEnabled()); }, 1},
        {L"ProxyEnabled", HKEY_CURRENT_USER, false, 1, [] { return DWORD(VRC_GetProxyEnabled()); }, 1},
        {L"ProxyEnabled", HKEY_LOCAL_MACHINE, true, 1, [] { return DWORD(VRC_GetProxyEnabled()); }, 1},
        {L"Proxy_IsNTLM", HKEY_CURRENT_USER, false, 1, [] { return DWORD(VRC_GetProxyIsNTLM()); }, 1},
        {L"Proxy_IsNTLM", HKEY_LOCAL_MACHINE, true, 1, [] { return DWORD(VRC_GetProxyIsNTLM()); }, 1},
        {L"Server", HKEY_LOCAL_MACHINE, false, 1, [] { return DWORD(VRC_IsServerMode()); }, 1},
        {L"VRC_UseAltDuplex", HKEY_CURRENT_USER, false, 1, [] { return DWORD(VRC_GetUseAltDuplex()); }, 1},
        {L"Proxy_WPAD_Enabled", HKEY_CURRENT_USER, false, 1, [] { return DWORD(VRC_GetProxyWPADEnabled()); }, 1},
    };
}

// Both settings keys emptied, and server mode as the setting asks.
void startOver(bool serverMode)
{
    removeKey(HKEY_LOCAL_MACHINE, kSettingsKey);
    removeKey(HKEY_CURRENT_USER, kSettingsKey);
    if (serverMode)
        setSettingDword(HKEY_LOCAL_MACHINE, L"Server", 1);
}

}  // namespace

TEST_F(SettingsStore, EveryDwordSettingIsReadUnderItsNameFromItsHiveOnly)
{
    for (const StoredSetting& setting : dwordSettings()) {
        const std::string which = narrow(setting.name) + " in the " + hiveName(setting.hive) + " settings" +
                                  (setting.serverMode ? " (server mode)" : "");
        startOver(setting.serverMode);
        const DWORD fallback = setting.read();
        ASSERT_NE(fallback, setting.whenStored) << which;
        setSettingDword(otherHive(setting.hive), setting.name, setting.stored);
        EXPECT_EQ(setting.read(), fallback) << which << ": read from the other hive";
        deleteSetting(otherHive(setting.hive), setting.name);
        setSettingDword(setting.hive, setting.name, setting.stored);
        EXPECT_EQ(setting.read(), setting.whenStored) << which << ": not read";
    }
}

TEST_F(SettingsStore, EveryStringSettingIsReadUnderItsNameFromTheUserHiveOnly)
{
    using Getter = int (*)(wchar_t*, DWORD);
    const struct {
        const wchar_t* name;
        Getter read;
    } settings[] = {{L"Product", VRC_GetProduct}, {L"IgnoreUpgradesUptoVersion", VRC_GetIgnoreUpgradesUptoVersion}};
    for (const auto& setting : settings) {
        startOver(false);
        wchar_t text[32] = {};
        setSettingString(HKEY_LOCAL_MACHINE, setting.name, L"machine text");
        EXPECT_EQ(setting.read(text, sizeof text), 0) << narrow(setting.name) << ": read from the machine";
        setSettingString(HKEY_CURRENT_USER, setting.name, L"user text");
        EXPECT_EQ(setting.read(text, sizeof text), 1) << narrow(setting.name);
        EXPECT_STREQ(text, L"user text") << narrow(setting.name);
    }
}

TEST_F(SettingsStore, EverySetterStoresItsNameTypeAndHive)
{
    const struct {
        const wchar_t* name;
        HKEY hive;
        bool serverMode;
        std::function<int()> write;
        DWORD stored;
    } setters[] = {
        {L"SS_IgnoreCert", HKEY_CURRENT_USER, false, [] { return VRC_SetIgnoreCert(6); }, 6},
        {L"VRC_OverrideColorSettings", HKEY_CURRENT_USER, false, [] { return VRC_SetOverrideColorSettings(6); }, 6},
        {L"VRC_OverrideColorSettings", HKEY_CURRENT_USER, false, [] { return VRC_DisableOverrideColorSettings(); }, 0},
        {L"VRC_OverrideColorSettings", HKEY_CURRENT_USER, false, [] { return VRC_EnableOverrideColorSettings(); }, 1},
        {L"SS_PluginCacheCount", HKEY_LOCAL_MACHINE, false, [] { return VRC_SetPluginCacheCount(6); }, 6},
        {L"PluginCacheEnabled", HKEY_LOCAL_MACHINE, false, [] { return VRC_SetPluginCacheEnabled(6); }, 6},
        {L"PluginCacheEnabled", HKEY_LOCAL_MACHINE, false, [] { return VRC_DisablePluginCache(); }, 0},
        {L"PluginCacheEnabled", HKEY_LOCAL_MACHINE, false, [] { return VRC_EnablePluginCache(); }, 1},
        {L"ProxyEnabled", HKEY_CURRENT_USER, false, [] { return VRC_SetProxyEnabled(6); }, 6},
        {L"ProxyEnabled", HKEY_CURRENT_USER, true, [] { return VRC_SetProxyEnabled(6); }, 6},
        {L"Proxy_IsNTLM", HKEY_CURRENT_USER, false, [] { return VRC_SetProxyIsNTLM(6); }, 6},
        {L"Proxy_IsNTLM", HKEY_LOCAL_MACHINE, true, [] { return VRC_SetProxyIsNTLM(6); }, 6},
        {L"Server", HKEY_LOCAL_MACHINE, false, [] { return VRC_SetServerMode(6); }, 6},
        {L"Server", HKEY_LOCAL_MACHINE, false, [] { return VRC_EnableServerMode(); }, 1},
        {L"Server", HKEY_LOCAL_MACHINE, true, [] { return VRC_DisableServerMode(); }, 0},
        {L"VRC_UseAltDuplex", HKEY_CURRENT_USER, false, [] { return VRC_SetUseAltDuplex(6); }, 6},
        {L"VRC_UseAltDuplex", HKEY_CURRENT_USER, false, [] { return VRC_DisableAltDuplex(); }, 0},
        {L"VRC_UseAltDuplex", HKEY_CURRENT_USER, false, [] { return VRC_EnableAltDuplex(); }, 1},
        {L"Proxy_WPAD_Enabled", HKEY_CURRENT_USER, false, [] { return VRC_SetProxyWPADEnabled(6); }, 6},
    };
    for (const auto& setter : setters) {
        const std::string which = narrow(setter.name) + " in the " + hiveName(setter.hive) + " settings" +
                                  (setter.serverMode ? " (server mode)" : "");
        startOver(setter.serverMode);
        EXPECT_EQ(setter.write(), 1) << which;
        DWORD type = 0;
        std::vector<BYTE> data;
        if (!readValue(setter.hive, kSettingsKey, setter.name, &type, &data)) {
            ADD_FAILURE() << which << ": not stored";
            continue;
        }
        EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD)) << which;
        DWORD value = 0;
        EXPECT_EQ(data.size(), sizeof value) << which;
        std::memcpy(&value, data.data(), std::min(data.size(), sizeof value));
        EXPECT_EQ(value, setter.stored) << which;
        EXPECT_FALSE(hasSetting(otherHive(setter.hive), setter.name)) << which << ": other hive written";
    }

    startOver(false);
    EXPECT_EQ(VRC_SetIgnoreUpgradesUptoVersion(L"6.2.5.3000"), 1);
    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_TRUE(readValue(HKEY_CURRENT_USER, kSettingsKey, L"IgnoreUpgradesUptoVersion", &type, &data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(data, stringBytes(L"6.2.5.3000"));
    EXPECT_FALSE(hasSetting(HKEY_LOCAL_MACHINE, L"IgnoreUpgradesUptoVersion"));
}

TEST_F(SettingsStore, AValueThatCannotBeSetIsReported)
{
    DriverLogCapture log;
    // The key opens for writing, but the registry takes no value name this long.
    const std::wstring name(20000, L'n');
    EXPECT_EQ(VRC_SetUserStringValue(nullptr, nullptr, name.c_str(), L"x"), 0);
    EXPECT_FALSE(hasSetting(HKEY_CURRENT_USER, name.c_str()));
    const std::string text = log.text();
    EXPECT_NE(text.find("**ERROR** : Failed to set registry value 'nnnn"), std::string::npos) << text.substr(0, 300);
}

TEST_F(SettingsStore, ReadOnlyKeysMakeWritesFailAndAreReported)
{
    setSettingDword(HKEY_LOCAL_MACHINE, L"Existing", 1);
    EXPECT_EQ(VRC_MachineKeyNotWritable(), 0);
    {
        ReadOnlyKey locked(HKEY_LOCAL_MACHINE, kSettingsKey);
        ASSERT_TRUE(locked.applied());
        EXPECT_EQ(VRC_MachineKeyNotWritable(), 1);
        EXPECT_EQ(VRC_SetMachineStringValue(nullptr, nullptr, L"Text", L"x"), 0);
        EXPECT_EQ(VRC_SetPluginCacheCount(3), 0);
        DWORD value = 0;
        EXPECT_EQ(VRC_GetDwordValue(nullptr, nullptr, L"Existing", &value, 0), 1);  // reading still works
    }
    EXPECT_EQ(VRC_MachineKeyNotWritable(), 0);

    DriverLogCapture log;
    {
        ReadOnlyKey locked(HKEY_CURRENT_USER, kSettingsKey);
        ASSERT_TRUE(locked.applied());
        EXPECT_EQ(VRC_SetUserStringValue(nullptr, nullptr, L"Text", L"x"), 0);
        EXPECT_EQ(VRC_SetIgnoreUpgradesUptoVersion(L"6.3"), 0);
    }
    const std::string text = log.text();
    EXPECT_NE(text.find("**ERROR** : Failed to create registry value 'Text'. GetLastError() = 5\r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("**ERROR** : Could not set registry value for 'IgnoreUpgradesUptoVersion'.\r\n"),
              std::string::npos)
        << text;
}

TEST_F(SettingsStore, StringReadFailuresAreReportedExceptAMissingValue)
{
    DriverLogCapture log;  // makes the user key
    wchar_t buffer[32];
    EXPECT_EQ(VRC_GetStringValue(nullptr, nullptr, L"NotThere", buffer, sizeof buffer, 1), 0);
    EXPECT_EQ(VRC_GetStringValue(nullptr, nullptr, L"NoMachineKey", buffer, sizeof buffer, 0), 0);
    setSettingString(HKEY_CURRENT_USER, L"TooLong", L"a text longer than the buffer");
    EXPECT_EQ(VRC_GetStringValue(nullptr, nullptr, L"TooLong", buffer, 8, 1), 0);

    EXPECT_EQ(VRC_GetIgnoreUpgradesUptoVersion(nullptr, 64), 0);
    EXPECT_EQ(VRC_GetIgnoreUpgradesUptoVersion(buffer, sizeof buffer), 0);
    EXPECT_EQ(VRC_SetIgnoreUpgradesUptoVersion(L"6.2.5.3000"), 1);
    EXPECT_EQ(VRC_GetIgnoreUpgradesUptoVersion(buffer, sizeof buffer), 1);
    EXPECT_STREQ(buffer, L"6.2.5.3000");

    const std::string text = log.text();
    EXPECT_EQ(text.find("'NotThere'"), std::string::npos) << text;
    EXPECT_NE(text.find("REL    "), std::string::npos) << text;
    EXPECT_NE(text.find("**ERROR** : Failed to access registry key 'NoMachineKey'. GetLastError() = 2\r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("**ERROR** : Failed to access registry key 'TooLong'. GetLastError() = 234\r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("**ERROR** : Cannot get 'IgnoreUpgradesUptoVersion' registry value because output string "
                        "buffer is NULL or too small.\r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("**WARNING** : Unable to get 'IgnoreUpgradesUptoVersion' registry value. Maybe it is not "
                        "yet set.\r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Updated registry value for 'IgnoreUpgradesUptoVersion'.\r\n"), std::string::npos) << text;
}

TEST_F(SettingsStore, ProbesDescribeThisProcess)
{
    EXPECT_EQ(VRC_IsWow64(), 0);  // a 64-bit program
    EXPECT_EQ(VRC_IsNativeAMD64(), 1);
}

// ---- the calling thread's user ----------------------------------------------------

// A key of this test stands for the root of another user's hive, as the
// platform gives it to a thread impersonating that user; then the thread's
// hive cannot be opened.
TEST_F(SettingsStore, PerUserValuesLiveInTheHiveOfTheThreadsOwnUser)
{
    static constexpr const wchar_t* kOther = L"Software\\vrc_test_other_user";
    const auto other = [](const std::wstring& key) { return (std::wstring(kOther) + L"\\" + key); };
    const vr::platform::OpenCurrentUserFunction otherUser = [](REGSAM access, HKEY* hive) {
        return RegCreateKeyExW(HKEY_CURRENT_USER, kOther, 0, nullptr, 0, access, nullptr, hive, nullptr);
    };
    const std::wstring compatibility =
        L"Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Compatibility Assistant\\Persisted";
    const SavedValue processUsersEntry(HKEY_CURRENT_USER, compatibility, L"C:\\x.exe");
    const struct Restore {
        ~Restore() { vr::platform::setOpenCurrentUser(nullptr), removeKey(HKEY_CURRENT_USER, kOther); }
    } restore;
    ASSERT_TRUE(setSettingDword(HKEY_CURRENT_USER, L"Probe", 1));
    for (const bool opens : {true, false}) {
        const DWORD two = 2;
        removeKey(HKEY_CURRENT_USER, kOther);
        ASSERT_TRUE(setValue(HKEY_CURRENT_USER, other(kSettingsKey).c_str(), L"Probe", REG_DWORD, &two, 4));
        vr::platform::setOpenCurrentUser(opens ? otherUser : [](REGSAM, HKEY*) -> LSTATUS { return 5; });
        DWORD probe = 0;
        EXPECT_EQ(VRC_GetDwordValue(nullptr, nullptr, L"Probe", &probe, 1), opens);
        EXPECT_EQ(probe, opens ? 2u : 0u);
        EXPECT_EQ(VRC_SetUserDwordValue(nullptr, nullptr, L"Written", 3), opens);
        EXPECT_EQ(VRC_SetUserStringValue(nullptr, nullptr, L"Written", L"t"), opens);
        EXPECT_EQ(VRC_SetUserQwordValue(L"Written", 4), opens);
        EXPECT_EQ(VRC_SetCompatibilityPersisted(L"C:\\x.exe"), opens);
        EXPECT_EQ(VRC_DeleteUserValue(nullptr, nullptr, L"Probe"), opens);
        vr::platform::setOpenCurrentUser(nullptr);
        // Each in the other user's hive, none in the process's own.
        std::vector<BYTE> data;
        DWORD type = 0;
        EXPECT_EQ(readValue(HKEY_CURRENT_USER, other(kSettingsKey).c_str(), L"Written", &type, &data), opens);
        EXPECT_EQ(readValue(HKEY_CURRENT_USER, other(compatibility).c_str(), L"C:\\x.exe", &type, &data), opens);
        EXPECT_EQ(readValue(HKEY_CURRENT_USER, other(kSettingsKey).c_str(), L"Probe", &type, &data), !opens);
        EXPECT_FALSE(readValue(HKEY_CURRENT_USER, compatibility.c_str(), L"C:\\x.exe", &type, &data));
        EXPECT_FALSE(hasSetting(HKEY_CURRENT_USER, L"Written"));
        EXPECT_EQ(settingDword(HKEY_CURRENT_USER, L"Probe"), 1u);
    }

    // A thread impersonating another user reads and writes that user's hive,
    // HKEY_USERS\<SID>; a user whose profile is not loaded has no per-user
    // values and no data folder of its own, never the process's. Its log
    // paths are never kept for the process's own threads.
    const auto driverLog = [] {
        std::vector<wchar_t> path(vr::trace::kDriverPathChars);  // the size the tracer keeps its path for
        return DBG_DriverLogPath(path.data(), vr::trace::kDriverPathChars) ? std::wstring(path.data()) : L"";
    };
    ASSERT_TRUE(setSettingString(HKEY_CURRENT_USER, L"DriverLogFile", L"C:\\process_user.log"));
    EXPECT_EQ(driverLog(), L"C:\\process_user.log");
    const struct {
        vr::trace::TokenUserLookup user;
        bool loaded;
        const wchar_t* driverLog;
    } users[] = {{otherUserLookup, true, L"C:\\other_user.log"}, {unloadedUserLookup, false, L""}};
    const struct Hive {
        ~Hive() { removeKey(HKEY_USERS, otherUserKey().c_str()); }
    } hive;
    ASSERT_TRUE(setValue(HKEY_USERS, otherUserKey(kSettingsKey).c_str(), L"DriverLogFile", REG_SZ,
                         L"C:\\other_user.log", sizeof L"C:\\other_user.log"));
    for (const auto& user : users) {
        std::thread([&] {
            ImpersonateSelf(SecurityImpersonation);
            vr::trace::setThreadUserLookup(user.user);
            DWORD probe = 0;
            wchar_t folder[MAX_PATH];
            EXPECT_EQ(VRC_GetDwordValue(nullptr, nullptr, L"Probe", &probe, 1), 0);
            EXPECT_EQ(VRC_SetUserDwordValue(nullptr, nullptr, L"Written", 3), user.loaded);
            EXPECT_EQ(VRC_GetUserDataFolder(folder, MAX_PATH), user.loaded);
            EXPECT_EQ(driverLog(), user.driverLog);
            vr::trace::setThreadUserLookup(nullptr);
            RevertToSelf();
        }).join();
    }
    EXPECT_FALSE(hasSetting(HKEY_CURRENT_USER, L"Written"));
    EXPECT_EQ(driverLog(), L"C:\\process_user.log");
}
