#include "trace_log_files.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "registry_state.h"
#include "vrcommon.h"

namespace vr::test {

std::wstring logFolder()
{
    // Looked up once: the lookup may report through the tracer itself.
    static const std::wstring folder = [] {
        wchar_t found[MAX_PATH] = {};
        if (!VRC_GetLogsFolder(found, MAX_PATH)) {
            EXPECT_TRUE(VRC_GetUserDataFolder(found, MAX_PATH));
        }
        return std::wstring(found);
    }();
    return folder;
}

std::wstring debugLogPath() { return logFolder() + L"\\VRCDBG62.LOG"; }
std::wstring driverLogPath() { return logFolder() + L"\\VRCDRV62.LOG"; }

void removeLogs()
{
    const std::wstring folder = logFolder();
    for (const wchar_t* name : {L"VRCDBG62.LOG", L"VRCDRV62.LOG", L"VRCDBG62.BAK", L"VRCDRV62.BAK"})
        DeleteFileW((folder + L"\\" + name).c_str());
}

std::wstring currentLogFolder()
{
    wchar_t folder[MAX_PATH] = {};
    if (!VRC_GetLogsFolder(folder, MAX_PATH) && !VRC_GetUserDataFolder(folder, MAX_PATH))
        return {};
    return folder;
}

void setDriverLogFile(const std::wstring& path)
{
    ASSERT_TRUE(setSettingString(HKEY_CURRENT_USER, L"DriverLogFile", path));
}

void clearDriverLogFile() { deleteSetting(HKEY_CURRENT_USER, L"DriverLogFile"); }

}  // namespace vr::test
