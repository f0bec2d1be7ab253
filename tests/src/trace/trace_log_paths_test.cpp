// Where lines go while the settings, the environment and the folders change
// between them: always where the folder and settings routines say at that
// moment, although the tracer keeps its log paths between lines.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "other_user.h"
#include "platform/current_user_hive.h"
#include "platform/platform_seams.h"
#include "registry_state.h"
#include "scratch_folder.h"
#include "shared_file.h"
#include "trace/log_paths.h"
#include "trace/tracer_seams.h"
#include "trace_log_files.h"
#include "trace_log_lines.h"
#include "vrcommon.h"

using namespace vr::test;

namespace {

constexpr const char* kSource = "C:\\src\\paths.c";

bool holds(const std::wstring& log, const std::string& text)
{
    return readSharedFile(log).find(text) != std::string::npos;
}

class LogPaths : public ::testing::Test {
protected:
    void SetUp() override
    {
        deleteSetting(HKEY_CURRENT_USER, L"DriverLogFile");
        deleteSetting(HKEY_LOCAL_MACHINE, L"UserPath");
        deleteSetting(HKEY_LOCAL_MACHINE, L"Server");
        removeEnvironment(L"NVS_DATA_LOGS");
        removeEnvironment(L"NVS_DATA_ROOT");
        DeleteFileW(defaultDriverLog().c_str());
        DeleteFileW(defaultDebugLog().c_str());
        // Inside a traced function the thread keeps its context between lines.
        traced_ = DBG_TRACE(kSource, 1, 9, "LogPathsTest");
    }
    void TearDown() override { RETURN(kSource, 2, traced_); }

    // A REL line and a debug log line with the given text.
    static void writeBoth(const std::string& text)
    {
        DBG_Print(kSource, 10, DBG_MASK_REL, DBG_Text("%s", text.c_str()));
        DBG_Print(kSource, 11, DBG_MASK_TO_LOG, DBG_Text("%s", text.c_str()));
    }
    static std::wstring defaultDriverLog() { return currentLogFolder() + L"\\VRCDRV62.LOG"; }
    static std::wstring defaultDebugLog() { return currentLogFolder() + L"\\VRCDBG62.LOG"; }

    // With a machine setting just made that moves the logs to `moved`, writes
    // `during`; deletes the setting and writes `after`. Each text must be in
    // both logs of the folder of its moment and in neither log of the other.
    static void expectLinesFollowTheSetting(const wchar_t* setting, const std::wstring& before,
                                            const std::wstring& moved, const std::string& during,
                                            const std::string& after)
    {
        writeBoth(during);
        ASSERT_EQ(currentLogFolder(), moved);
        deleteSetting(HKEY_LOCAL_MACHINE, setting);
        writeBoth(after);

        // The driver log holds REL lines, the debug log the text after the header.
        const struct {
            const wchar_t* name;
            std::string column;
        } logs[] = {{L"\\VRCDBG62.LOG", ""}, {L"\\VRCDRV62.LOG", "REL    "}};
        for (const auto& log : logs) {
            SCOPED_TRACE(log.column.empty() ? "debug log" : "driver log");
            EXPECT_TRUE(holds(moved + log.name, log.column + during));
            EXPECT_FALSE(holds(moved + log.name, after));
            EXPECT_TRUE(holds(before + log.name, log.column + after));
            EXPECT_FALSE(holds(before + log.name, during));
        }
    }

    // Runs body on a thread of a job: it impersonates, and the seam reports
    // the other user for it.
    static void asJobUser(const std::function<void()>& body)
    {
        std::thread([&] {
            ImpersonateSelf(SecurityImpersonation);
            vr::trace::setThreadUserLookup(otherUserLookup);
            body();
            vr::trace::setThreadUserLookup(nullptr);
            RevertToSelf();
        }).join();
    }

    ScratchFolder scratch_{"trace_paths"};

private:
    SavedValue driverLogFile_{HKEY_CURRENT_USER, kSettingsKey, L"DriverLogFile"};
    SavedValue userPath_{HKEY_LOCAL_MACHINE, kSettingsKey, L"UserPath"};
    SavedValue server_{HKEY_LOCAL_MACHINE, kSettingsKey, L"Server"};
    SavedValue logs_{HKEY_LOCAL_MACHINE, kEnvironmentKey, L"NVS_DATA_LOGS"};
    SavedValue root_{HKEY_LOCAL_MACHINE, kEnvironmentKey, L"NVS_DATA_ROOT"};
    int traced_ = -1;
};

}  // namespace

TEST_F(LogPaths, DriverLogFileSetChangedAndDeletedBetweenLines)
{
    const std::wstring first = scratch_.path() + L"\\first.log";
    const std::wstring second = scratch_.path() + L"\\second.log";
    writeBoth("before DriverLogFile");
    EXPECT_TRUE(holds(defaultDriverLog(), "REL    before DriverLogFile"));

    ASSERT_TRUE(setSettingString(HKEY_CURRENT_USER, L"DriverLogFile", first));
    writeBoth("into the first");
    ASSERT_TRUE(setSettingString(HKEY_CURRENT_USER, L"DriverLogFile", second));
    writeBoth("into the second");
    deleteSetting(HKEY_CURRENT_USER, L"DriverLogFile");
    writeBoth("back to the default");

    const std::vector<std::string> firstLines = readLines(first);
    ASSERT_EQ(firstLines.size(), 1u);
    EXPECT_EQ(timeless(firstLines[0]), headerOf("paths.c", 10) + "REL    into the first");
    EXPECT_EQ(readLines(second).size(), 1u);
    EXPECT_TRUE(holds(second, "REL    into the second"));
    EXPECT_TRUE(holds(defaultDriverLog(), "REL    back to the default"));
    EXPECT_FALSE(holds(defaultDriverLog(), "into the"));
    // The debug log does not follow DriverLogFile.
    EXPECT_TRUE(holds(defaultDebugLog(), "into the second"));
}

TEST_F(LogPaths, SettingsKeyMadeAndRemovedBetweenLines)
{
    // With no settings key at all, only its parents can tell that it is made.
    const SavedKey userSettings(HKEY_CURRENT_USER, kSettingsKey);
    removeKey(HKEY_CURRENT_USER, kSettingsKey);
    removeKey(HKEY_CURRENT_USER, L"SOFTWARE\\Norvessa Corporation");
    writeBoth("no key");
    const std::wstring redirected = scratch_.path() + L"\\made.log";
    ASSERT_TRUE(setSettingString(HKEY_CURRENT_USER, L"DriverLogFile", redirected));
    writeBoth("key made");
    EXPECT_TRUE(holds(redirected, "REL    key made"));
    // A change in the key made a moment ago is seen as well.
    const std::wstring changed = scratch_.path() + L"\\changed.log";
    ASSERT_TRUE(setSettingString(HKEY_CURRENT_USER, L"DriverLogFile", changed));
    writeBoth("value changed");
    EXPECT_TRUE(holds(changed, "REL    value changed"));
    removeKey(HKEY_CURRENT_USER, kSettingsKey);
    writeBoth("key removed");
    EXPECT_TRUE(holds(defaultDriverLog(), "REL    key removed"));
    EXPECT_FALSE(holds(changed, "key removed"));
}

TEST_F(LogPaths, UserPathSetAndDeletedBetweenLines)
{
    writeBoth("default folder");
    const std::wstring defaultFolder = currentLogFolder();
    ASSERT_TRUE(setSettingString(HKEY_LOCAL_MACHINE, L"UserPath", scratch_.path()));
    const std::wstring userFolder = scratch_.path() + L"\\Norvessa Corporation\\Veranto 6.2";
    expectLinesFollowTheSetting(L"UserPath", defaultFolder, userFolder, "user path", "default again");
    // Nor did a line written before the setting.
    EXPECT_FALSE(holds(userFolder + L"\\VRCDBG62.LOG", "default folder"));
}

TEST_F(LogPaths, RemovedDataFolderIsMadeAgainByTheNextLine)
{
    ASSERT_TRUE(setSettingString(HKEY_LOCAL_MACHINE, L"UserPath", scratch_.path()));
    writeBoth("first");
    const std::wstring company = scratch_.path() + L"\\Norvessa Corporation";
    const std::wstring folder = company + L"\\Veranto 6.2";
    ASSERT_TRUE(holds(folder + L"\\VRCDBG62.LOG", "first"));
    removeTree(company);
    ASSERT_FALSE(fileExists(company));
    writeBoth("second");
    const std::vector<std::string> lines = readLines(folder + L"\\VRCDBG62.LOG");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(timeless(lines[0]), headerOf("paths.c", 11) + "second");
    EXPECT_TRUE(holds(folder + L"\\VRCDRV62.LOG", "REL    second"));
}

TEST_F(LogPaths, ServerModeSwitchedOnWithALogsFolder)
{
    const std::wstring defaultFolder = currentLogFolder();
    ASSERT_TRUE(setEnvironment(L"NVS_DATA_LOGS", scratch_.path()));
    writeBoth("not yet server");
    ASSERT_TRUE(setSettingDword(HKEY_LOCAL_MACHINE, L"Server", 1));
    const std::wstring serverFolder = scratch_.path() + L"\\Veranto 6.2";
    expectLinesFollowTheSetting(L"Server", defaultFolder, serverFolder, "server on", "server off");
    // The logs folder alone, without server mode, moved nothing.
    EXPECT_TRUE(holds(defaultFolder + L"\\VRCDRV62.LOG", "REL    not yet server"));
    EXPECT_FALSE(holds(serverFolder + L"\\VRCDRV62.LOG", "not yet"));
}

TEST_F(LogPaths, ServerLogsFolderThatAppearsLaterIsUsedFromThen)
{
    // NVS_DATA_LOGS names a folder that does not exist yet: the lines fall back
    // to the data folder until it is made, which no registry change announces.
    const std::wstring logs = scratch_.path() + L"\\later";
    ASSERT_TRUE(setEnvironment(L"NVS_DATA_LOGS", logs));
    ASSERT_TRUE(setSettingDword(HKEY_LOCAL_MACHINE, L"Server", 1));
    const std::wstring fallback = currentLogFolder();
    DeleteFileW((fallback + L"\\VRCDRV62.LOG").c_str());
    DeleteFileW((fallback + L"\\VRCDBG62.LOG").c_str());
    writeBoth("before the folder");
    writeBoth("still before");
    ASSERT_TRUE(CreateDirectoryW(logs.c_str(), nullptr));
    writeBoth("after the folder");
    EXPECT_TRUE(holds(fallback + L"\\VRCDRV62.LOG", "REL    still before"));
    EXPECT_TRUE(holds(logs + L"\\Veranto 6.2\\VRCDRV62.LOG", "REL    after the folder"));
    EXPECT_FALSE(holds(fallback + L"\\VRCDRV62.LOG", "after the folder"));
}

TEST_F(LogPaths, ChangeAfterTheWatchingThreadEndedIsSeen)
{
    // The first lookup after a change happens on a thread that then ends.
    const std::wstring first = scratch_.path() + L"\\thread.log";
    ASSERT_TRUE(setSettingString(HKEY_CURRENT_USER, L"DriverLogFile", first));
    std::thread([] { DBG_Print(kSource, 20, DBG_MASK_REL, DBG_Text("from a thread")); }).join();
    EXPECT_TRUE(holds(first, "REL    from a thread"));
    const std::wstring second = scratch_.path() + L"\\after.log";
    ASSERT_TRUE(setSettingString(HKEY_CURRENT_USER, L"DriverLogFile", second));
    writeBoth("after the thread");
    EXPECT_TRUE(holds(second, "REL    after the thread"));
    EXPECT_FALSE(holds(first, "after the thread"));
}

TEST_F(LogPaths, ServerLogsFolderChangedAloneMovesBothLogs)
{
    // In server mode, the machine environment alone decides the folder.
    const std::wstring first = scratch_.path() + L"\\first";
    const std::wstring second = scratch_.path() + L"\\second";
    ASSERT_TRUE(CreateDirectoryW(first.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(second.c_str(), nullptr));
    ASSERT_TRUE(setSettingDword(HKEY_LOCAL_MACHINE, L"Server", 1));
    const struct {
        const std::wstring& folder;
        const char* text;
    } steps[] = {{first, "in the first"}, {second, "in the second"}};
    for (const auto& step : steps) {
        ASSERT_TRUE(setEnvironment(L"NVS_DATA_LOGS", step.folder));
        writeBoth(step.text);
    }
    for (const auto& step : steps)
        for (const auto& other : steps) {
            const bool own = &step == &other;
            SCOPED_TRACE(other.text);
            EXPECT_EQ(holds(step.folder + L"\\Veranto 6.2\\VRCDRV62.LOG", std::string("REL    ") + other.text), own);
            EXPECT_EQ(holds(step.folder + L"\\Veranto 6.2\\VRCDBG62.LOG", other.text), own);
        }
}

// Lines of a job's thread go where its user's DriverLogFile says, kept
// between lines and changed by the next line after that user's setting
// changes; the process's own lines follow the process's user's setting, whose
// watches a job's thread never arms through the job user's hive (as
// RegOpenCurrentUser would give it).
TEST_F(LogPaths, JobUsersLinesFollowTheirOwnHive)
{
    static std::atomic<DWORD> jobThread{0};
    vr::platform::setOpenCurrentUser([](REGSAM access, HKEY* hive) {
        return GetCurrentThreadId() == jobThread ? RegOpenKeyExW(HKEY_USERS, kOtherUserSid, 0, access, hive)
                                                 : RegOpenCurrentUser(access, hive);
    });
    const struct Hive {
        ~Hive() { vr::platform::setOpenCurrentUser(nullptr), removeKey(HKEY_USERS, otherUserKey().c_str()); }
    } hive;
    const std::wstring jobSettings = otherUserKey(kSettingsKey);
    const struct {
        bool jobsSetting;
        const wchar_t* file;  // the setting changed, if any; then the line's log
        bool byJob;
        const char* text;
        bool resolved;
    } steps[] = {{true, L"job1.log", true, "job one", true},
                 {false, nullptr, true, "job again", false},
                 // The process's watches have seen a change; a job's thread traces first.
                 {false, L"own1.log", true, "job after own change", false},
                 {false, nullptr, false, "own one", true},
                 {false, L"own2.log", false, "own two", true},
                 {true, L"job2.log", true, "job two", true}};
    std::wstring jobLog, ownLog;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.text);
        if (step.file != nullptr) {
            std::wstring& log = step.jobsSetting ? jobLog : ownLog;
            log = scratch_.path() + L"\\" + step.file;
            ASSERT_TRUE(step.jobsSetting ? setValue(HKEY_USERS, jobSettings.c_str(), L"DriverLogFile", REG_SZ,
                                                    log.c_str(), static_cast<DWORD>((log.size() + 1) * 2))
                                         : setSettingString(HKEY_CURRENT_USER, L"DriverLogFile", log));
        }
        const unsigned long before = vr::trace::logPathResolutions();
        const auto line = [&] { DBG_Print(kSource, 30, DBG_MASK_REL, DBG_Text("%s", step.text)); };
        step.byJob ? asJobUser([&] { jobThread = GetCurrentThreadId(), line(), jobThread = 0; }) : line();
        EXPECT_TRUE(holds(step.byJob ? jobLog : ownLog, std::string("REL    ") + step.text));
        EXPECT_FALSE(holds(step.byJob ? ownLog : jobLog, step.text));
        EXPECT_EQ(vr::trace::logPathResolutions() != before, step.resolved);
    }
}

// A job user's keys are closed a few seconds after its last line, with no
// line after it, so that its profile can unload.
TEST_F(LogPaths, JobUsersHiveIsLetGoAfterItsLastLine)
{
    const struct Hive {
        ~Hive() { removeKey(HKEY_USERS, otherUserKey().c_str()); }
    } hive;
    ASSERT_TRUE(setValue(HKEY_USERS, otherUserKey(kSettingsKey).c_str(), L"Touched", REG_SZ, L"", 2));
    unsigned long heldWhileTracing = 0;
    asJobUser([&] {
        DBG_Print(kSource, 40, DBG_MASK_REL, DBG_Text("last job line"));
        heldWhileTracing = keyHandlesUnder(HKEY_USERS, otherUserKey());
    });
    EXPECT_GT(heldWhileTracing, 0u);
    const ULONGLONG start = GetTickCount64();
    while (keyHandlesUnder(HKEY_USERS, otherUserKey()) != 0 && GetTickCount64() - start < 10000)
        Sleep(100);
    EXPECT_EQ(keyHandlesUnder(HKEY_USERS, otherUserKey()), 0u) << "still held after 10 s";
}
