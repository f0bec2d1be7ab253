// The log files themselves: rotation past 100,000,000 bytes on the full
// 64-bit size, a held backup, a log moved by another writer mid-rotation,
// lines that cannot be written, appends that keep what the log holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "registry_state.h"
#include "scratch_folder.h"
#include "shared_file.h"
#include "trace/tracer_seams.h"
#include "trace_log_lines.h"
#include "vrcommon.h"

using namespace vr::test;

namespace {

constexpr const char* kSource = "C:\\src\\files.c";

void appendBytes(const std::wstring& path, const std::string& bytes)
{
    const vr::UniqueHandle file = vr::adoptFileHandle(
        CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr));
    DWORD written = 0;
    WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

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
    EXPECT_FALSE(fileExists(log_));
    // The header shows the time as "@" in place of its 23 characters.
    const std::string line = headerOf("files.c", 1) + "REL    past two gigabytes\r\n";
    EXPECT_EQ(sizeOf(backup_), 3000000000LL + static_cast<LONGLONG>(line.size() - 1 + 23));
    DBG_Print(kSource, 2, DBG_MASK_REL, DBG_Text("fresh log"));
    EXPECT_EQ(readLines(log_).size(), 1u);
}

TEST_F(LogFiles, MoveThatCannotBeMadeIsPutOffAndAppendsAskOnlyForAppendRights)
{
    static std::vector<DWORD> accesses, flags;
    static std::atomic<bool> refuseDelete;
    vr::trace::setLogOpen([](const wchar_t* path, DWORD access, DWORD share, DWORD disposition, DWORD flag) {
        accesses.push_back(access);
        flags.push_back(flag);
        if ((access & DELETE) != 0 && refuseDelete) {
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
        return CreateFileW(path, access, share, nullptr, disposition, flag, nullptr);
    });
    // A backup open even to deleting cannot be replaced; a user may not move
    // a log somebody else made. Either way one try, then the appends go on as
    // for a log below the limit, for a while and until the log has grown.
    for (const bool refused : {false, true}) {
        SCOPED_TRACE(refused ? "move refused" : "backup held");
        accesses.clear();
        DeleteFileW(log_.c_str());
        ASSERT_TRUE(scratch_.write("driver.BAK", "older backup\r\n").size() > 0);
        ASSERT_TRUE(growTo(log_, 100000001));
        refuseDelete = refused;
        {
            constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
            const vr::UniqueHandle reader = vr::adoptFileHandle(
                CreateFileW(backup_.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
            ASSERT_TRUE(reader);
            for (int i = 0; i < 5; ++i)
                DBG_Print(kSource, 3, DBG_MASK_REL, DBG_Text("while it cannot be moved"));
            Sleep(200);
            DBG_Print(kSource, 3, DBG_MASK_REL, DBG_Text("while it cannot be moved"));
        }
        refuseDelete = false;
        EXPECT_EQ(std::count_if(accesses.begin(), accesses.end(), [](DWORD a) { return (a & DELETE) != 0; }), 1);
        EXPECT_EQ(readSharedFile(backup_), "older backup\r\n");
        DBG_Print(kSource, 4, DBG_MASK_REL, DBG_Text("the log not grown enough"));
        EXPECT_TRUE(fileExists(log_));
        const std::string appended = readSharedFile(log_, 100000001);
        EXPECT_EQ(std::count(appended.begin(), appended.end(), '\n'), 7);
        EXPECT_TRUE(appended.ends_with("\r\n"));
        // Another 1,000,000 bytes, and the next append moves it.
        ASSERT_TRUE(growTo(log_, sizeOf(log_) + 1000000));
        DBG_Print(kSource, 5, DBG_MASK_REL, DBG_Text("grown"));
        EXPECT_FALSE(fileExists(log_));
        EXPECT_GT(sizeOf(backup_), 101000001);
    }
    vr::trace::setLogOpen(nullptr);
    for (const DWORD access : accesses)
        EXPECT_EQ(access & ~DELETE, DWORD{FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE});
    // A link in the log's place is opened itself, never followed.
    for (const DWORD flag : flags)
        EXPECT_NE(flag & FILE_FLAG_OPEN_REPARSE_POINT, 0u);
}

TEST_F(LogFiles, WriterThatFindsTheLogMovedUnderItDoesNotMoveItAgain)
{
    ASSERT_TRUE(growTo(log_, 100000001));
    // Another writer appends its last line and moves the log, then starts the
    // new one, between this writer's size check and its reopen.
    static const std::wstring* paths[2];
    paths[0] = &log_;
    paths[1] = &backup_;
    vr::trace::setRotationRace([](const wchar_t*) {
        vr::trace::setRotationRace(nullptr);
        appendBytes(*paths[0], "other writer's last line\r\n");
        MoveFileExW(paths[0]->c_str(), paths[1]->c_str(), MOVEFILE_REPLACE_EXISTING);
        appendBytes(*paths[0], "other writer's first line\r\n");
    });
    DBG_Print(kSource, 6, DBG_MASK_REL, DBG_Text("ours"));
    EXPECT_EQ(sizeOf(backup_), 100000001 + 26);
    EXPECT_EQ(readSharedFile(backup_, 100000001), "other writer's last line\r\n");
    const std::vector<std::string> lines = readLines(log_);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "other writer's first line");
    EXPECT_EQ(timeless(lines[1]), headerOf("files.c", 6) + "REL    ours");
}

namespace {

// A volume that is full: each write puts down half its bytes, then fails
// with the volume's error, or reports success for the half. A script instead
// fails the writes marked 'f' from then on, one character a write.
std::atomic<bool> volumeFull{false}, fullVolumeSaysSuccess{false};
std::string writeScript;
BOOL writeToVolume(HANDLE file, const void* bytes, DWORD size, DWORD* written)
{
    bool fail = volumeFull;
    if (!writeScript.empty()) {
        fail = writeScript[0] == 'f';
        writeScript.erase(0, 1);
    }
    if (!fail)
        return WriteFile(file, bytes, size, written, nullptr);
    WriteFile(file, bytes, size / 2, written, nullptr);
    if (fullVolumeSaysSuccess)
        return TRUE;
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
}

// A log deleted while another program has it open: on some file systems its
// name stays until that program closes it, refusing every open meanwhile.
HANDLE openWhileDeletePending(const wchar_t* path, DWORD access, DWORD share, DWORD disposition, DWORD flags)
{
    if (!volumeFull)
        return CreateFileW(path, access, share, nullptr, disposition, flags, nullptr);
    static const auto statusToError =
        vr::bind<ULONG(WINAPI*)(LONG)>(GetModuleHandleW(L"ntdll.dll"), "RtlNtStatusToDosError");
    SetLastError(statusToError(static_cast<LONG>(0xC0000056)));  // also the thread's last status
    return INVALID_HANDLE_VALUE;
}

}  // namespace

TEST_F(LogFiles, LinesThatCannotBeWrittenAreKeptOrCountedNeverTorn)
{
    const std::wstring elsewhere = scratch_.path() + L"\\precious.txt";
    enum Fault { FullVolume, FullVolumeSaysSuccess, SecondName, DeletePending };
    const struct {
        Fault fault;
        const char* gap;
    } cases[] = {
        {FullVolume, "1 line could not be written to this log: the disk was full."},
        {FullVolumeSaysSuccess, "1 line could not be written to this log: the disk was full."},
        {SecondName, "3 lines could not be written to this log: the log file had a second name."},
        {DeletePending, "1 line could not be written to this log: another program held it open."},
    };
    vr::trace::setLogWrite(writeToVolume);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.gap);
        DeleteFileW(log_.c_str());
        DBG_Print(kSource, 1, DBG_MASK_REL, DBG_Text("before"));
        if (c.fault == SecondName) {
            DeleteFileW(log_.c_str());
            scratch_.write("precious.txt", "precious\r\n");
            ASSERT_TRUE(CreateHardLinkW(log_.c_str(), elsewhere.c_str(), nullptr)) << GetLastError();
        }
        vr::trace::setLogOpen(c.fault == DeletePending ? openWhileDeletePending : nullptr);
        volumeFull = c.fault != SecondName;
        fullVolumeSaysSuccess = c.fault == FullVolumeSaysSuccess;
        // The middle line is past what a log keeps: it is counted.
        DBG_Print(kSource, 2, DBG_MASK_REL, DBG_Text("kept"));
        DBG_Print(kSource, 3, DBG_MASK_REL, DBG_Text("%070000d", 0));
        DBG_Print(kSource, 4, DBG_MASK_REL, DBG_Text("kept too"));
        volumeFull = false;
        if (c.fault == SecondName) {
            EXPECT_EQ(readSharedFile(elsewhere), "precious\r\n");
            DeleteFileW(log_.c_str());
        }
        DBG_Print(kSource, 5, DBG_MASK_REL, DBG_Text("after"));
        const std::string text = readSharedFile(log_);
        EXPECT_TRUE(text.ends_with("\r\n"));
        // The tracer's own line stands where lines are missing, after the
        // older lines that were kept, as a release line.
        const std::string gap = std::string("REL    TRACE ERROR: ") + c.gap;
        std::vector<std::string> expected{gap};
        if (c.fault != SecondName)
            expected = {headerOf("files.c", 1) + "REL    before", headerOf("files.c", 2) + "REL    kept",
                        headerOf("files.c", 4) + "REL    kept too", gap};
        expected.push_back(headerOf("files.c", 5) + "REL    after");
        std::vector<std::string> lines = readLines(log_);
        for (std::string& line : lines)
            line = line.find(gap) != std::string::npos ? line.substr(line.find(gap)) : timeless(line);
        EXPECT_EQ(lines, expected);
    }
    vr::trace::setLogOpen(nullptr);
    vr::trace::setLogWrite(nullptr);
}

TEST_F(LogFiles, ShortWriteIsCutBackToTheLastWholeWriteOrEndedByTheNextOne)
{
    static std::atomic<bool> cutRefused;
    vr::trace::setLogWrite(writeToVolume);
    vr::trace::setLogCut([](HANDLE file) { return cutRefused ? FALSE : SetEndOfFile(file); });
    const struct {
        const char* name;
        const char* script;  // the writes from line 2 on
        bool cutRefused;
        std::vector<std::string> lines;
    } cases[] = {
        // Line 2 fails; the next batch writes it, then fails on line 3.
        {"the cut keeps what was written", "f.f", false, {"before", "kept", "second", "after"}},
        // The piece line 2 left is ended and counted; every line after it is whole.
        {"the cut refused",
         "f",
         true,
         {"before", "<piece>", "kept", "TRACE ERROR: 1 line could not be written to this log: the disk was full.",
          "second", "after"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileW(log_.c_str());
        DBG_Print(kSource, 1, DBG_MASK_REL, DBG_Text("before"));
        writeScript = c.script;
        cutRefused = c.cutRefused;
        DBG_Print(kSource, 2, DBG_MASK_REL, DBG_Text("kept"));
        cutRefused = false;
        DBG_Print(kSource, 3, DBG_MASK_REL, DBG_Text("second"));
        DBG_Print(kSource, 4, DBG_MASK_REL, DBG_Text("after"));
        std::vector<std::string> lines;
        for (const std::string& line : readLines(log_)) {
            const std::size_t text = line.find(" REL    ");
            lines.push_back(text == std::string::npos ? "<piece>" : line.substr(text + 8));
        }
        EXPECT_EQ(lines, c.lines);
    }
    writeScript.clear();
    vr::trace::setLogCut(nullptr);
    vr::trace::setLogWrite(nullptr);
}

TEST_F(LogFiles, AppendsKeepWhatTheLogHolds)
{
    ASSERT_TRUE(scratch_.write("driver.log", "written by another writer\r\n").size() > 0);
    DBG_Print(kSource, 5, DBG_MASK_REL, DBG_Text("appended"));
    const std::vector<std::string> lines = readLines(log_);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "written by another writer");
    EXPECT_EQ(timeless(lines[1]), headerOf("files.c", 5) + "REL    appended");

    // The file layer's create mode still empties an existing file for its callers.
    FIO_FILE* file = nullptr;
    ASSERT_EQ(FIO_Open(log_.c_str(), FIO_MODE_CREATE, &file), 0);
    FIO_Close(file);
    EXPECT_EQ(sizeOf(log_), 0);
}
