// The product's folders in server and non-server mode, their sources, the
// folders they create and their capacity boundaries, in the test prefix.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "settings/settings_seams.h"
#include "driver_log_capture.h"
#include "registry_state.h"
#include "scratch_folder.h"
#include "vrcommon.h"

using namespace vr::test;

namespace {

const std::wstring kProductLevels = L"\\Norvessa Corporation\\Veranto 6.2";

class Folders : public ::testing::Test {
protected:
    CleanSettings clean_;
    ScratchFolder scratch_;
};

std::wstring shellFolder(int csidl)
{
    wchar_t path[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, 0, path);
    return path;
}

// Calls a folder routine with exactly `capacity` characters of room.
int callWith(int (*routine)(wchar_t*, DWORD), size_t capacity, std::wstring* result = nullptr)
{
    std::vector<wchar_t> buffer(capacity + 1, L'#');  // one guard character past the capacity
    const int ok = routine(buffer.data(), static_cast<DWORD>(capacity));
    EXPECT_EQ(buffer[capacity], L'#') << "wrote past the capacity";
    if (result)
        *result = ok ? std::wstring(buffer.data()) : std::wstring();
    return ok;
}

}  // namespace

TEST_F(Folders, UserDataFolderFollowsModeAndSources)
{
    std::wstring folder;
    // Not server, no UserPath: the user's local application data.
    ASSERT_EQ(callWith(VRC_GetUserDataFolder, MAX_PATH, &folder), 1);
    EXPECT_EQ(folder, shellFolder(CSIDL_LOCAL_APPDATA) + kProductLevels);
    EXPECT_TRUE(folderExists(folder));

    // NVS_DATA_ROOT is ignored outside server mode; UserPath is the base.
    setEnvironment(L"NVS_DATA_ROOT", scratch_.path() + L"\\root");
    setSettingString(HKEY_LOCAL_MACHINE, L"UserPath", scratch_.path());
    ASSERT_EQ(callWith(VRC_GetUserDataFolder, MAX_PATH, &folder), 1);
    EXPECT_EQ(folder, scratch_.path() + kProductLevels);
    EXPECT_TRUE(folderExists(folder));

    // Server mode with a root: no company level, taken literally.
    const std::wstring root = scratch_.path() + L"\\%SystemDrive%";
    ASSERT_TRUE(CreateDirectoryW(root.c_str(), nullptr));
    setEnvironment(L"NVS_DATA_ROOT", root);
    setSettingDword(HKEY_LOCAL_MACHINE, L"Server", 1);
    ASSERT_EQ(callWith(VRC_GetUserDataFolder, MAX_PATH, &folder), 1);
    EXPECT_EQ(folder, root + L"\\Veranto 6.2");
    EXPECT_TRUE(folderExists(folder));

    // Server mode without a root: the common application data, UserPath unused.
    removeEnvironment(L"NVS_DATA_ROOT");
    ASSERT_EQ(callWith(VRC_GetUserDataFolder, MAX_PATH, &folder), 1);
    EXPECT_EQ(folder, shellFolder(CSIDL_COMMON_APPDATA) + kProductLevels);

    // A base whose parent is missing is not created.
    setSettingDword(HKEY_LOCAL_MACHINE, L"Server", 0);
    setSettingString(HKEY_LOCAL_MACHINE, L"UserPath", scratch_.path() + L"\\missing\\deeper");
    EXPECT_EQ(callWith(VRC_GetUserDataFolder, MAX_PATH), 0);
}

TEST_F(Folders, LogsFolderOnlyInServerMode)
{
    setEnvironment(L"NVS_DATA_LOGS", scratch_.path());
    EXPECT_EQ(callWith(VRC_GetLogsFolder, MAX_PATH), 0);

    setSettingDword(HKEY_LOCAL_MACHINE, L"Server", 1);
    std::wstring folder;
    ASSERT_EQ(callWith(VRC_GetLogsFolder, MAX_PATH, &folder), 1);
    EXPECT_EQ(folder, scratch_.path() + L"\\Veranto 6.2");
    EXPECT_TRUE(folderExists(folder));

    setEnvironment(L"NVS_DATA_LOGS", scratch_.path() + L"\\absent");
    EXPECT_EQ(callWith(VRC_GetLogsFolder, MAX_PATH), 0);
    EXPECT_FALSE(folderExists(scratch_.path() + L"\\absent"));
    removeEnvironment(L"NVS_DATA_LOGS");
    EXPECT_EQ(callWith(VRC_GetLogsFolder, MAX_PATH), 0);
}

TEST_F(Folders, ServerLogFolderIsMadeWithItsOwnSecurityOnly)
{
    // Wine keeps no descriptor on a folder: the one given is captured on its
    // way to CreateDirectoryW. A folder that exists keeps its own.
    static std::vector<std::wstring> given;
    vr::settings::setServerLogFolderCreation([](const wchar_t* path, SECURITY_ATTRIBUTES* security) -> BOOL {
        wchar_t* text = nullptr;
        ConvertSecurityDescriptorToStringSecurityDescriptorW(security->lpSecurityDescriptor, SDDL_REVISION_1,
                                                             DACL_SECURITY_INFORMATION, &text, nullptr);
        given.emplace_back(text != nullptr ? text : L"");
        LocalFree(text);
        return CreateDirectoryW(path, security);
    });
    setSettingDword(HKEY_LOCAL_MACHINE, L"Server", 1);
    setEnvironment(L"NVS_DATA_LOGS", scratch_.path());
    const std::wstring folder = scratch_.path() + L"\\Veranto 6.2";
    for (const bool exists : {false, true}) {  // made by the runtime, then found made
        given.clear();
        ASSERT_EQ(folderExists(folder), exists);
        ASSERT_EQ(callWith(VRC_GetLogsFolder, MAX_PATH), 1);
        EXPECT_TRUE(folderExists(folder));
        EXPECT_EQ(given, std::vector<std::wstring>{L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;0x1200a3;;;AU)"
                                                   L"(A;OIIO;0x12008f;;;AU)(A;;0x1200a3;;;OW)(A;OIIO;0x13008f;;;OW)"});
    }
    vr::settings::setServerLogFolderCreation(nullptr);
}

TEST_F(Folders, CapacityBoundaries)
{
    // Each routine succeeds with room for its result and the NUL, and fails
    // with one character less, without writing past the capacity.
    setSettingString(HKEY_LOCAL_MACHINE, L"UserPath", scratch_.path());
    const size_t data = scratch_.path().size() + kProductLevels.size();
    EXPECT_EQ(callWith(VRC_GetUserDataFolder, data + 1), 1);
    EXPECT_EQ(callWith(VRC_GetUserDataFolder, data), 0);

    // The spool folder asks one character more than its result needs.
    const size_t spool = data + 6;
    std::wstring folder;
    EXPECT_EQ(callWith(VRC_GetSpoolFolder, spool + 2, &folder), 1);
    EXPECT_EQ(folder, scratch_.path() + kProductLevels + L"\\SPOOL");
    EXPECT_TRUE(folderExists(folder));
    EXPECT_EQ(callWith(VRC_GetSpoolFolder, spool + 1), 0);
    EXPECT_EQ(VRC_GetSpoolFolder(nullptr, MAX_PATH), 0);

    setSettingDword(HKEY_LOCAL_MACHINE, L"Server", 1);
    setEnvironment(L"NVS_DATA_LOGS", scratch_.path());
    const size_t logs = scratch_.path().size() + 12;
    EXPECT_EQ(callWith(VRC_GetLogsFolder, logs + 1), 1);
    EXPECT_EQ(callWith(VRC_GetLogsFolder, logs), 0);
    EXPECT_EQ(callWith(VRC_GetLogsFolder, 1), 0);
}

TEST_F(Folders, InstallPathStoredOrProgramFilesFallback)
{
    // A stored path is returned whether or not it exists.
    setSettingString(HKEY_LOCAL_MACHINE, L"Install Path", L"Q:\\nowhere");
    std::wstring path;
    ASSERT_EQ(callWith(VRC_GetInstallPath, MAX_PATH, &path), 1);
    EXPECT_EQ(path, L"Q:\\nowhere");
    EXPECT_EQ(callWith(VRC_GetInstallPath, 1), 0);

    // The fallback under ProgramFiles only counts when the folder exists.
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kSettingsKey, L"Install Path");
    wchar_t programFiles[MAX_PATH];
    ASSERT_GT(GetEnvironmentVariableW(L"ProgramFiles", programFiles, MAX_PATH), 0u);
    const std::wstring company = std::wstring(programFiles) + L"\\Norvessa Corporation";
    const std::wstring expected = company + L"\\Veranto 6.2";
    const bool companyExisted = folderExists(company), productExisted = folderExists(expected);
    if (!productExisted) {
        EXPECT_EQ(callWith(VRC_GetInstallPath, MAX_PATH), 0);
        CreateDirectoryW(company.c_str(), nullptr);
        ASSERT_TRUE(CreateDirectoryW(expected.c_str(), nullptr));
    }
    EXPECT_EQ(callWith(VRC_GetInstallPath, expected.size() + 1, &path), 1);
    EXPECT_EQ(path, expected);
    EXPECT_EQ(callWith(VRC_GetInstallPath, expected.size()), 0);
    if (!productExisted)
        RemoveDirectoryW(expected.c_str());
    if (!companyExisted)
        RemoveDirectoryW(company.c_str());
}

TEST_F(Folders, SpoolFailuresAreReported)
{
    setSettingString(HKEY_LOCAL_MACHINE, L"UserPath", scratch_.path());
    DriverLogCapture log;
    const size_t data = scratch_.path().size() + kProductLevels.size();
    EXPECT_EQ(callWith(VRC_GetSpoolFolder, 1), 0);  // silently
    EXPECT_EQ(callWith(VRC_GetSpoolFolder, data + 1), 0);  // data fits, the separator does not
    EXPECT_EQ(callWith(VRC_GetSpoolFolder, data + 6), 0);  // the separator fits, "SPOOL" does not
    setSettingString(HKEY_LOCAL_MACHINE, L"UserPath", scratch_.path() + L"\\missing\\deeper");
    EXPECT_EQ(callWith(VRC_GetSpoolFolder, MAX_PATH), 0);
    // A file where the spool folder belongs.
    setSettingString(HKEY_LOCAL_MACHINE, L"UserPath", scratch_.path());
    const std::wstring blocker = scratch_.path() + kProductLevels + L"\\SPOOL";
    HANDLE file = CreateFileW(blocker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_EQ(callWith(VRC_GetSpoolFolder, MAX_PATH), 0);

    const std::string text = log.text();
    const auto count = [&](const std::string& line) {
        size_t found = 0;
        for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1))
            ++found;
        return found;
    };
    EXPECT_EQ(count("**ERROR** : Failed to get spool path because buffer is too small.\r\n"), 1u) << text;
    EXPECT_EQ(count("**ERROR** : Failed to get spool path because the buffer is too small.\r\n"), 1u) << text;
    EXPECT_EQ(count("**ERROR** : Failed to get user path. Therefore cannot determine spool path.\r\n"), 1u) << text;
    EXPECT_EQ(count("**ERROR** : Failed to get spool path because cannot create spool directory.\r\n"), 1u) << text;
}
