// The log files themselves: rotation past 100,000,000 bytes on the full
// 64-bit size, a backup that survives a failed move, appends that keep what
// the log holds.
#include <gtest/gtest.h>

#include <string>

#include "platform/handles.h"
#include "registry_state.h"
#include "scratch_folder.h"
#include "shared_file.h"
#include "trace_expectations.h"
#include "vrcommon.h"

using namespace vr::test;
using namespace vr::test::trace;

namespace {

constexpr const char* kSource = "C:\\src\\files.c";

bool growTo(const std::wstring& path, LONGLONG size)
{
    const vr::UniqueHandle file =
        vr::adoptFileHandle(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr));
    if (!file)
        return false;
    LARGE_INTEGER distance;
    distance.QuadPart = size;
    return SetFilePointerEx(file.get(), distance, nullptr, FILE_BEGIN) && SetEndOfFile(file.get());
}

LONGLONG sizeOf(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (LONGLONG{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

class LogFiles : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(setSettingString(HKEY_CURRENT_USER, L"DriverLogFile", log_)); }

    ScratchFolder scratch_{"trace_files"};
    const std::wstring log_ = scratch_.path() + L"\\driver.log";
    const std::wstring backup_ = scratch_.path() + L"\\driver.BAK";

private:
    SavedValue driverLogFile_{HKEY_CURRENT_USER, kSettingsKey, L"DriverLogFile"};
};

}  // namespace

TEST_F(LogFiles, LogPastTwoGigabytesIsRotatedOnItsWholeSize)
{
    // 3,000,000,000 reads as negative through a 32-bit position.
    ASSERT_TRUE(growTo(log_, 3000000000LL));
    DBG_Print(kSource, 1, DBG_MASK_REL, DBG_Text("past two gigabytes"));
    EXPECT_FALSE(exists(log_));
    // The header shows the time as "@" in place of its 23 characters.
    const std::string line = headerOf("files.c", 1) + "REL    past two gigabytes\r\n";
    EXPECT_EQ(sizeOf(backup_), 3000000000LL + static_cast<LONGLONG>(line.size() - 1 + 23));
    DBG_Print(kSource, 2, DBG_MASK_REL, DBG_Text("fresh log"));
    EXPECT_EQ(fileLines(log_).size(), 1u);
}

TEST_F(LogFiles, FailedMoveKeepsTheOlderBackup)
{
    ASSERT_TRUE(scratch_.write("driver.BAK", "older backup\r\n").size() > 0);
    ASSERT_TRUE(growTo(log_, 100000001));
    {
        // Open without letting it be deleted: the backup cannot be replaced.
        const vr::UniqueHandle reader = vr::adoptFileHandle(
            CreateFileW(backup_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(reader);
        DBG_Print(kSource, 3, DBG_MASK_REL, DBG_Text("while the backup is open"));
    }
    EXPECT_EQ(readSharedFile(backup_), "older backup\r\n");
    EXPECT_GT(sizeOf(log_), 100000001);
    // The next append moves it, replacing the older backup.
    DBG_Print(kSource, 4, DBG_MASK_REL, DBG_Text("once it is closed"));
    EXPECT_FALSE(exists(log_));
    EXPECT_GT(sizeOf(backup_), 100000001);
}

TEST_F(LogFiles, AppendsKeepWhatTheLogHolds)
{
    ASSERT_TRUE(scratch_.write("driver.log", "written by another writer\r\n").size() > 0);
    DBG_Print(kSource, 5, DBG_MASK_REL, DBG_Text("appended"));
    const std::vector<std::string> lines = fileLines(log_);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "written by another writer");
    EXPECT_EQ(timeless(lines[1]), headerOf("files.c", 5) + "REL    appended");

    // The file layer's create mode still empties an existing file for its callers.
    FIO_FILE* file = nullptr;
    ASSERT_EQ(FIO_Open(log_.c_str(), FIO_MODE_CREATE, &file), 0);
    FIO_Close(file);
    EXPECT_EQ(sizeOf(log_), 0);
}
