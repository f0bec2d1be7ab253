// The plug-in caching switch with the real vorUvez.exe, the Windows version
// probes under Wine's per-program versions, the Compatibility Assistant entry
// and the shield icon.
#include "vrcommon.h"

#include "platform/handles.h"
#include "registry_state.h"
#include "system/system_seams.h"
#include "helper_programs.h"
#include "text.h"

#include <gtest/gtest.h>
#include <shellapi.h>

#include <string>

namespace {

using namespace vr::test;

// Wine reports the version named by HKCU\Software\Wine\AppDefaults\<exe>;
// a copy of the helper under its own name gets its own version.
class HelperWithVersion {
public:
    explicit HelperWithVersion(const wchar_t* wineVersion)
        : name_(std::wstring(L"system_helper_") + wineVersion + L".exe"), key_(L"Software\\Wine\\AppDefaults\\" + name_)
    {
        CopyFileW(helperPath().c_str(), helperPath(name_.c_str()).c_str(), FALSE);
        RegSetKeyValueW(HKEY_CURRENT_USER, key_.c_str(), L"Version", REG_SZ, wineVersion,
                        static_cast<DWORD>((wcslen(wineVersion) + 1) * sizeof(wchar_t)));
    }
    ~HelperWithVersion()
    {
        RegDeleteKeyW(HKEY_CURRENT_USER, key_.c_str());
        DeleteFileW(helperPath(name_.c_str()).c_str());
    }
    long run(const std::wstring& arguments) const { return runProgram(helperPath(name_.c_str()), arguments); }

private:
    std::wstring name_, key_;
};

TEST(OsVersion, FlagsFollowTheReportedVersion)
{
    struct Case {
        const wchar_t* wineVersion;
        long flags;  // VRC_IsVistaOrLater in bit 16
    };
    for (const Case& c :
         {Case{L"win98", 0x4}, Case{L"winme", 0x8}, Case{L"nt40", 0x20}, Case{L"win2k", 0x40}, Case{L"winxp", 0x80},
          Case{L"win2003", 0x100}, Case{L"vista", 0x18000}, Case{L"win10", 0x18000}}) {
        HelperWithVersion helper(c.wineVersion);
        EXPECT_EQ(helper.run(L"version"), c.flags) << narrow(c.wineVersion);
    }
    EXPECT_EQ(VRC_GetOSVersionFlags(), 0x8000u);
    EXPECT_EQ(VRC_IsVistaOrLater(), 1);
}

TEST(OsVersion, BeforeNT5MutexesKeepTheBareName)
{
    SavedValue server(HKEY_LOCAL_MACHINE, kSettingsKey, L"Server");
    setSettingDword(HKEY_LOCAL_MACHINE, L"Server", 1);
    // NT 4 knows no "Global\": its lock is not the one of server mode.
    HelperWithVersion nt4(L"nt40");
    HANDLE lock = VRC_LockUI(0);
    ASSERT_NE(lock, nullptr);
    EXPECT_EQ(nt4.run(L"try 0"), 0);
    HelperWithVersion xp(L"winxp");
    EXPECT_EQ(xp.run(L"try 0"), 3);
    VRC_UnlockUI(lock);
}

class PluginCaching : public ::testing::Test {
protected:
    SavedValue installPath_{HKEY_LOCAL_MACHINE, kSettingsKey, L"Install Path"};
    SavedValue enabled_{HKEY_LOCAL_MACHINE, kSettingsKey, L"PluginCacheEnabled"};
};

TEST_F(PluginCaching, StartsVorUvezFromTheInstallationFolder)
{
    setSettingString(HKEY_LOCAL_MACHINE, L"Install Path", windowsPath(VR_BIN_DIR));
    deleteSetting(HKEY_LOCAL_MACHINE, L"PluginCacheEnabled");
    EXPECT_EQ(VRC_SetPluginCaching(1), 1);
    EXPECT_EQ(settingDword(HKEY_LOCAL_MACHINE, L"PluginCacheEnabled"), 1u);
    EXPECT_EQ(VRC_GetPluginCacheEnabled(), 1);
    EXPECT_EQ(VRC_SetPluginCaching(0), 1);
    EXPECT_EQ(settingDword(HKEY_LOCAL_MACHINE, L"PluginCacheEnabled"), 0u);
}

TEST_F(PluginCaching, NoProgramToStartFails)
{
    setSettingDword(HKEY_LOCAL_MACHINE, L"PluginCacheEnabled", 7);
    // No stored folder, and no product folder under Program Files.
    deleteSetting(HKEY_LOCAL_MACHINE, L"Install Path");
    EXPECT_EQ(VRC_SetPluginCaching(1), 0);
    // A folder that leaves no room for the program's name.
    setSettingString(HKEY_LOCAL_MACHINE, L"Install Path", L"C:\\" + std::wstring(2040, L'p'));
    EXPECT_EQ(VRC_SetPluginCaching(1), 0);
    EXPECT_EQ(settingDword(HKEY_LOCAL_MACHINE, L"PluginCacheEnabled"), 7u);
}

TEST_F(PluginCaching, BeforeWindows6TheSettingIsStoredDirectly)
{
    // Nothing to start there: the setting can only come from the caller.
    setSettingString(HKEY_LOCAL_MACHINE, L"Install Path", windowsPath(VR_TEST_DIR));
    HelperWithVersion xp(L"winxp");
    deleteSetting(HKEY_LOCAL_MACHINE, L"PluginCacheEnabled");
    EXPECT_EQ(xp.run(L"plugin-caching 1"), 1);
    EXPECT_EQ(settingDword(HKEY_LOCAL_MACHINE, L"PluginCacheEnabled"), 1u);
    EXPECT_EQ(xp.run(L"plugin-caching 0"), 1);
    EXPECT_EQ(settingDword(HKEY_LOCAL_MACHINE, L"PluginCacheEnabled"), 0u);
}

// vorUvez.exe started as VRC_SetPluginCaching starts it, with other arguments.
long runVorUvez(const std::wstring& parameters)
{
    const std::wstring program = windowsPath(VR_BIN_DIR) + L"\\vorUvez.exe";
    SHELLEXECUTEINFOW request{};
    request.cbSize = sizeof(request);
    request.fMask = SEE_MASK_NOCLOSEPROCESS;
    request.lpVerb = L"runas";
    request.lpFile = program.c_str();
    request.lpParameters = parameters.c_str();
    request.nShow = SW_HIDE;
    if (!ShellExecuteExW(&request) || request.hProcess == nullptr)
        return -1;
    DWORD code = 0;
    WaitForSingleObject(request.hProcess, 30000);
    GetExitCodeProcess(request.hProcess, &code);
    CloseHandle(request.hProcess);
    return static_cast<long>(code);
}

TEST_F(PluginCaching, VorUvezTakesOnlyItsOneSwitch)
{
    setSettingDword(HKEY_LOCAL_MACHINE, L"PluginCacheEnabled", 7);
    for (const wchar_t* parameters :
         {L"", L"-pluginCaching", L"-pluginCaching 2", L"-pluginCaching 1 1", L"-pluginCaching x", L"-PluginCaching 1",
          L"-pluginCaching 01", L"/pluginCaching 1"}) {
        EXPECT_NE(runVorUvez(parameters), 0) << "'" << narrow(parameters) << "'";
    }
    EXPECT_EQ(settingDword(HKEY_LOCAL_MACHINE, L"PluginCacheEnabled"), 7u);
    EXPECT_EQ(runVorUvez(L"-pluginCaching 1"), 0);
    EXPECT_EQ(settingDword(HKEY_LOCAL_MACHINE, L"PluginCacheEnabled"), 1u);
}

TEST(CompatibilityPersisted, CreatesTheKeyAndRecordsThePath)
{
    const wchar_t* key =
        L"Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Compatibility Assistant\\Persisted";
    const wchar_t* path = L"C:\\Program Files\\Norvessa Corporation\\Veranto 6.2\\sys_test.exe";
    vr::UniqueRegistryKey existing;
    RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, vr::put(existing));
    const bool keyExisted = existing != nullptr;
    existing.reset();

    EXPECT_EQ(VRC_SetCompatibilityPersisted(path), 1);
    DWORD value = 0, size = sizeof(value), type = 0;
    ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, key, path, RRF_RT_ANY, &type, &value, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(value, 1u);

    // Without a path there is no entry to write.
    EXPECT_EQ(VRC_SetCompatibilityPersisted(L""), 0);
    EXPECT_EQ(VRC_SetCompatibilityPersisted(nullptr), 0);
    size = 0;
    EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, key, L"", RRF_RT_ANY, nullptr, nullptr, &size),
              static_cast<LONG>(ERROR_FILE_NOT_FOUND));

    if (keyExisted)
        RegDeleteKeyValueW(HKEY_CURRENT_USER, key, path);
    else
        RegDeleteTreeW(HKEY_CURRENT_USER, key);
}

TEST(ShieldIcon, EveryWayTheShellCanFail)
{
    const std::wstring standIn = helperPath(L"system_stock_icon.dll");
    const vr::UniqueLibrary module(LoadLibraryW(standIn.c_str()));
    ASSERT_TRUE(module);
    const auto setAnswer = vr::bind<void (*)(HRESULT)>(module.get(), "SetStockIconAnswer");
    ASSERT_NE(setAnswer, nullptr);

    vr::system::setShellLibraryForShieldIcon(standIn.c_str());
    setAnswer(S_OK);
    EXPECT_EQ(VRC_GetShieldIcon(), reinterpret_cast<HICON>(static_cast<INT_PTR>(0x5151)));
    setAnswer(S_FALSE);
    EXPECT_EQ(VRC_GetShieldIcon(), nullptr);
    setAnswer(E_FAIL);
    EXPECT_EQ(VRC_GetShieldIcon(), nullptr);

    vr::system::setShellLibraryForShieldIcon(L"kernel32.dll");  // no SHGetStockIconInfo
    EXPECT_EQ(VRC_GetShieldIcon(), nullptr);
    vr::system::setShellLibraryForShieldIcon(L"sys_no_such_shell.dll");
    EXPECT_EQ(VRC_GetShieldIcon(), nullptr);
    vr::system::setShellLibraryForShieldIcon(nullptr);
}

}  // namespace
