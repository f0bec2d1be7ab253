// The tracer under Wine: real logs, registry, debugger output and threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <atomic>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "trace/tracer_seams.h"
#include "child_program.h"
#include "registry_state.h"
#include "shared_file.h"
#include "trace_log_files.h"
#include "trace_log_lines.h"
#include "trace_output_capture.h"
#include "helper_programs.h"
#include "scratch_folder.h"
#include "wine_paths.h"
#include "vrcommon.h"

using namespace vr::test;

namespace {

constexpr const char* kSource = "C:\\work\\src/trace_sample.c";

class Tracer : public ::testing::Test {
protected:
    void SetUp() override
    {
        clearDriverLogFile();
        removeLogs();
        DbgErrorLatch = 0;
        DbgDeepLevel = 127;
    }
    void TearDown() override
    {
        clearDriverLogFile();
        DbgErrorLatch = 0;
        DbgDeepLevel = 127;
    }
};

// Brings a thread left at level -1 by a pairing test back to no context.
void forgetNegativeLevel()
{
    DBG_TRACE(kSource, 1, 0, "reset");
    DBG_Print(kSource, 1, 0, "");
}

using Lines = std::vector<std::string>;

}  // namespace

TEST_F(Tracer, ReleaseMessageGoesToTheDriverLogOnly)
{
    DebugOutputCapture output;
    DBG_Print(kSource, 77, DBG_MASK_REL, DBG_Text("value %d of %S", 5, L"wide"));
    EXPECT_EQ(timeless(readLines(driverLogPath())), (Lines{headerOf("trace_sample.c", 77) + "REL    value 5 of wide"}));
    EXPECT_FALSE(fileExists(debugLogPath()));
    EXPECT_TRUE(output.texts().empty());
    EXPECT_FALSE(vr::trace::contextListed(GetCurrentThreadId()));
}

TEST_F(Tracer, MasksChooseTheDestinations)
{
    DebugOutputCapture output;
    DBG_Print(kSource, 1, DBG_MASK_DEBUG_ODS, DBG_Text("to the debugger"));
    EXPECT_FALSE(fileExists(debugLogPath()));
    ASSERT_EQ(output.texts().size(), 1u);
    EXPECT_EQ(timeless(output.texts()[0]), headerOf("trace_sample.c", 1) + "DBG    to the debugger\r\n");

    DBG_Print(kSource, 2, DBG_MASK_DEBUG_ODS | DBG_MASK_TO_LOG, DBG_Text("to the log"));
    EXPECT_EQ(output.texts().size(), 1u);
    EXPECT_EQ(timeless(readLines(debugLogPath())), (Lines{headerOf("trace_sample.c", 2) + "DBG    to the log"}));

    DBG_Print(kSource, 3, 0, DBG_Text("nowhere"));
    DBG_Print(kSource, 3, DBG_MASK_DEBUG_LOG | DBG_MASK_DEBUG_ODS, nullptr);
    DBG_Print(kSource, 3, DBG_MASK_TO_LOG, reinterpret_cast<const char*>(~std::uintptr_t{0}));
    EXPECT_EQ(output.texts().size(), 1u);
    EXPECT_EQ(readLines(debugLogPath()).size(), 1u);
    EXPECT_FALSE(fileExists(driverLogPath()));
}

TEST_F(Tracer, DebugErrorMessageIsLoggedAndBoxed)
{
    ErrorBoxCapture box;
    DBG_Print(kSource, 4, DBG_MASK_DEBUG_ERROR, DBG_Text("bad %s", "state"));
    EXPECT_EQ(timeless(readLines(debugLogPath())), (Lines{headerOf("trace_sample.c", 4) + "DBG    bad state"}));
    ASSERT_EQ(box.texts().size(), 1u);
    EXPECT_EQ(timeless(box.texts()[0]), headerOf("trace_sample.c", 4) + "DBG    bad state\r\n");
}

TEST_F(Tracer, TextIsCutAndEndsInALineEnd)
{
    const std::string big(200000, 'q');
    const char* text = DBG_Text("%s", big.c_str());
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::strlen(text), 95999u);
    EXPECT_STREQ(text + 95997, "\r\n");
    EXPECT_STREQ(DBG_Text(nullptr), "\r\n");
    DBG_Print(kSource, 1, 0, "");  // lets the context go
}

TEST_F(Tracer, TracedFunctionsFoldRepeatedEntriesAndTrcMessages)
{
    DebugOutputCapture output;
    const int a = DBG_TRACE(kSource, 10, 9, "A");
    ASSERT_EQ(a, 1);
    EXPECT_TRUE(vr::trace::contextListed(GetCurrentThreadId()));
    for (int i = 0; i < 3; ++i) {
        const int b = DBG_TRACE(kSource, 20, 9, "B");
        EXPECT_EQ(b, 2);
        RETURN(kSource, 21, b);
    }
    for (int i = 0; i < 3; ++i)
        DBG_Trc(kSource, 30 + i, a, DBG_Text("same"));
    DBG_Trc(kSource, 40, a, DBG_Text("other"));
    DBG_Trc(kSource, 41, -1, DBG_Text("never shown"));
    RETURN(kSource, 50, a);
    EXPECT_FALSE(vr::trace::contextListed(GetCurrentThreadId()));

    const Lines expected{
        "",
        headerOf("trace_sample.c", 10) + "1      A",
        headerOf("trace_sample.c", 20) + "2(3)   .B",
        headerOf("trace_sample.c", 32) + "TRCx3  same",
        headerOf("trace_sample.c", 40) + "TRC    other",
    };
    EXPECT_EQ(timeless(readLines(debugLogPath())), expected);
    // The debugger sees the same lines, the empty one included.
    std::string seen;
    for (const std::string& text : output.texts())
        seen += text;
    EXPECT_EQ(seen, readSharedFile(debugLogPath()));
}

TEST_F(Tracer, DepthLimitAndDeepTraceLevel)
{
    int site = -1;
    const int hidden = DBG_TRACE(kSource, 1, 0, "Hidden");
    EXPECT_EQ(hidden, -1);
    DBG_Trc(kSource, 2, hidden, DBG_Text("dropped"));
    DBG_TraceFromHere(kSource, 3, &site);
    EXPECT_EQ(site, 1);
    EXPECT_EQ(DbgDeepLevel, 1);
    RETURN(kSource, 4, hidden);
    EXPECT_FALSE(fileExists(debugLogPath()));

    int otherSite = -1;
    const int shown = DBG_TRACE(kSource, 5, 0, "Shown");
    EXPECT_EQ(shown, 1);
    DBG_TraceFromHere(kSource, 6, &otherSite);  // armed once for the process
    EXPECT_EQ(otherSite, -1);
    RETURN(kSource, 7, shown);
    EXPECT_EQ(timeless(readLines(debugLogPath())), (Lines{"", headerOf("trace_sample.c", 5) + "1      Shown"}));
}

TEST_F(Tracer, ReturnKeepsTheCallersLastError)
{
    const int r = DBG_TRACE(kSource, 1, 9, "KeepsError");
    const int inner = DBG_TRACE(kSource, 2, 9, "Inner");
    SetLastError(1234);
    RETURN(kSource, 3, inner);
    EXPECT_EQ(GetLastError(), 1234u);
    SetLastError(ERROR_ACCESS_DENIED);
    RETURN(kSource, 4, r);  // writes the held line and lets the context go
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(Tracer, LevelLimitIsReportedOnceWithTheBox)
{
    ErrorBoxCapture box;
    std::vector<int> results;
    for (int i = 0; i < 101; ++i)
        results.push_back(DBG_TRACE(kSource, 100 + i, 1000, "Recursive"));
    EXPECT_EQ(results[99], 100);
    EXPECT_EQ(results[100], -1);
    const char* limit = "DEBUG ERROR: Function level count exceeds trace limit of 100\nRecursive Infinite Loop?\n";
    ASSERT_EQ(box.texts().size(), 1u);
    EXPECT_EQ(box.texts()[0], limit);
    EXPECT_EQ(DbgErrorLatch, 1u);
    EXPECT_EQ(DBG_TRACE(kSource, 300, 1000, "Deeper"), -1);  // logged again, no second box
    EXPECT_EQ(box.texts().size(), 1u);
    for (int i = 101; i >= 0; --i)
        RETURN(kSource, 400, i < 100 ? results[i] : -1);
    EXPECT_FALSE(vr::trace::contextListed(GetCurrentThreadId()));
    const std::string log = readSharedFile(debugLogPath());
    EXPECT_NE(log.find(std::string(limit) + std::string(limit)), std::string::npos);
    EXPECT_NE(log.find("100    " + std::string(99, '.') + "Recursive"), std::string::npos)
        << "the 100th entry is still shown";
}

TEST_F(Tracer, PairingAndBelowZeroErrors)
{
    ErrorBoxCapture box;
    // An entry that was not made has no level to lower on a thread without a context.
    RETURN(kSource, 5, -1);
    EXPECT_TRUE(box.texts().empty());
    EXPECT_FALSE(vr::trace::contextListed(GetCurrentThreadId()));
    EXPECT_FALSE(fileExists(debugLogPath()));

    RETURN("C:\\src\\caller.c", 77, 1);
    ASSERT_EQ(box.texts().size(), 1u) << "the below-zero report comes without a box";
    EXPECT_EQ(box.texts()[0], "DEBUG ERROR:\nMiss match of DBG_TRACE and RETURN in a function called by \n"
                              "Detected at C:\\src\\caller.c line 77\n");
    forgetNegativeLevel();

    DbgErrorLatch = 0;
    box.texts().clear();
    const int outer = DBG_TRACE(kSource, 1, 9, "Outer");
    const int inner = DBG_TRACE(kSource, 2, 9, "Inner");
    RETURN("here.c", 3, outer);  // the inner function's way out with the outer's result
    ASSERT_EQ(box.texts().size(), 1u);
    EXPECT_EQ(box.texts()[0], "DEBUG ERROR:\nMiss match of DBG_TRACE and RETURN in a function called by Outer\n"
                              "Detected at here.c line 3\n");
    RETURN(kSource, 4, inner);  // latched: no second check
    EXPECT_EQ(box.texts().size(), 1u);
    EXPECT_FALSE(vr::trace::contextListed(GetCurrentThreadId()));
}

TEST_F(Tracer, NestedMessagesWhileALineIsWrittenAreDropped)
{
    // The box is shown from inside DBG_TRACE: a routine reporting from there
    // must neither produce a line nor disturb the one being written.
    vr::trace::setErrorBoxHook([](const char*) {
        EXPECT_EQ(DBG_Text("nested %d", 1), nullptr);
        DBG_Print(kSource, 9, DBG_MASK_REL | DBG_MASK_TO_LOG, "nested\r\n");
    });
    int results[101];
    for (int& r : results)
        r = DBG_TRACE(kSource, 1, 1000, "Deep");
    for (int i = 100; i >= 0; --i)
        RETURN(kSource, 2, results[i]);
    vr::trace::setErrorBoxHook(nullptr);
    EXPECT_FALSE(fileExists(driverLogPath()));
    EXPECT_EQ(readSharedFile(debugLogPath()).find("nested"), std::string::npos);
}

TEST_F(Tracer, TrcWithAResultAtLevelZeroDoesNotUseAFreedContext)
{
    for (int i = 0; i < 50; ++i)
        DBG_Trc(kSource, 1, 0, DBG_Text("level zero %d", i));
    EXPECT_FALSE(vr::trace::contextListed(GetCurrentThreadId()));
    DBG_Print(kSource, 2, DBG_MASK_TO_LOG, DBG_Text("after"));
    EXPECT_NE(readSharedFile(debugLogPath()).find("after"), std::string::npos);
}

TEST_F(Tracer, DriverLogFileRedirectsAndRotatesWhateverItsExtension)
{
    const std::wstring custom = tempPath(L"trace redirect.txt");
    const std::wstring backup = tempPath(L"trace redirect.BAK");
    removeFile(custom);
    removeFile(backup);
    setDriverLogFile(custom);
    DBG_Print(kSource, 1, DBG_MASK_REL, DBG_Text("first"));
    EXPECT_EQ(timeless(readLines(custom)), (Lines{headerOf("trace_sample.c", 1) + "REL    first"}));
    EXPECT_FALSE(fileExists(driverLogPath()));

    ASSERT_TRUE(setFileSize(custom, 100000001));
    DBG_Print(kSource, 2, DBG_MASK_REL, DBG_Text("past the limit"));
    EXPECT_FALSE(fileExists(custom));
    const std::string tail = readSharedFile(backup).substr(100000001);
    EXPECT_EQ(timeless(tail), headerOf("trace_sample.c", 2) + "REL    past the limit\r\n");
    DBG_Print(kSource, 3, DBG_MASK_REL, DBG_Text("fresh"));
    EXPECT_EQ(readLines(custom).size(), 1u);
    removeFile(custom);
    removeFile(backup);
}

TEST_F(Tracer, DebugLogRotatesOnlyOncePastTheLimit)
{
    ASSERT_TRUE(setFileSize(debugLogPath(), 100000000));
    DBG_Print(kSource, 1, DBG_MASK_TO_LOG, DBG_Text("at the limit"));
    EXPECT_TRUE(fileExists(debugLogPath()));
    const std::wstring backup = logFolder() + L"\\VRCDBG62.BAK";
    EXPECT_FALSE(fileExists(backup));
    DBG_Print(kSource, 2, DBG_MASK_TO_LOG, DBG_Text("over it"));
    EXPECT_FALSE(fileExists(debugLogPath()));
    const LONGLONG rotated = fileSize(backup);
    EXPECT_GT(rotated, 100000000);
    ASSERT_TRUE(setFileSize(debugLogPath(), 100000001));
    DBG_Print(kSource, 3, DBG_MASK_TO_LOG, DBG_Text("again"));
    EXPECT_GT(fileSize(backup), 100000001) << "the older backup is replaced";
    EXPECT_LT(fileSize(backup), rotated + 200);
    removeLogs();
}

TEST_F(Tracer, FailingDriverLogLookupDoesNotRecurse)
{
    // Too long for the path buffer: the settings read fails and reports it,
    // from inside the tracer, where the report is dropped.
    setDriverLogFile(L"C:\\" + std::wstring(60000, L'x') + L".log");
    {
        // Outside the tracer the same read reports its failure.
        std::vector<wchar_t> buffer(48000);
        EXPECT_EQ(VRC_GetStringValue(nullptr, nullptr, L"DriverLogFile", buffer.data(), 96000, 1), 0);
        const std::string reported = readSharedFile(driverLogPath());
        EXPECT_NE(reported.find("REL    **ERROR** : "), std::string::npos) << reported;
        removeFile(driverLogPath());
    }
    DBG_Print(kSource, 1, DBG_MASK_REL, DBG_Text("falls back"));
    EXPECT_EQ(timeless(readLines(driverLogPath())), (Lines{headerOf("trace_sample.c", 1) + "REL    falls back"}));
    EXPECT_FALSE(vr::trace::contextListed(GetCurrentThreadId()));
}

TEST_F(Tracer, FailedAllocationBorrowsTheFallbackContextOneThreadAtATime)
{
    ErrorBoxCapture box;
    vr::trace::setContextAllocator([](std::size_t) -> void* { return nullptr; });
    DBG_Print(kSource, 1, DBG_MASK_TO_LOG, DBG_Text("from the fallback"));
    const int r = DBG_TRACE(kSource, 2, 9, "Fallback");
    EXPECT_EQ(r, 1);
    EXPECT_FALSE(vr::trace::contextListed(GetCurrentThreadId()));
    RETURN(kSource, 3, r);

    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&go, t] {
            while (!go)
                Sleep(0);
            for (int i = 0; i < 40; ++i) {
                const int f = DBG_TRACE(kSource, 10, 9, "Worker");
                DBG_Trc(kSource, 11, f, DBG_Text("thread %d message %d", t, i));
                DBG_Print(kSource, 12, DBG_MASK_TO_LOG, DBG_Text("thread %d line %d end", t, i));
                RETURN(kSource, 13, f);
            }
        });
    go = true;
    for (std::thread& t : threads)
        t.join();
    vr::trace::setContextAllocator(nullptr);
    EXPECT_TRUE(box.texts().empty()) << "calls dropped for want of a context cause no pairing errors";

    const Lines lines = readLines(debugLogPath());
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(timeless(lines[0]), headerOf("trace_sample.c", 1) + "from the fallback");
    EXPECT_EQ(timeless(lines[2]), headerOf("trace_sample.c", 2) + "1      Fallback");
    static const std::regex whole(R"(VRCCLN  @ trace_test +\d+ +\d+ +trace_sample\.c +1[0-3] )"
                                  R"((1      Worker|TRC    thread \d message \d+|thread \d line \d+ end))");
    for (std::size_t i = 3; i < lines.size(); ++i) {
        if (!lines[i].empty()) {
            EXPECT_TRUE(std::regex_match(timeless(lines[i]), whole)) << lines[i];
        }
    }
}

TEST_F(Tracer, ComponentOutsideTheLibraryTracesIntoBothLogs)
{
    StartedProgram client = startProgram(windowsPath(VR_TEST_DIR "/trace_client.exe"), L"42");
    ASSERT_TRUE(client.process);
    ASSERT_EQ(waitForExit(client.process.release(), 30000), 0u);
    static const std::regex header(R"(VRCCLN  @ trace_client +\d+ +\d+ +trace_client\.cpp +\d+ )");
    const Lines driver = timeless(readLines(driverLogPath()));
    ASSERT_EQ(driver.size(), 1u);
    EXPECT_TRUE(std::regex_search(driver[0], header));
    EXPECT_NE(driver[0].find("REL    client started with 42"), std::string::npos);
    const Lines debug = timeless(readLines(debugLogPath()));
    ASSERT_EQ(debug.size(), 4u);
    EXPECT_NE(debug[1].find("1      ClientMain"), std::string::npos);
    EXPECT_NE(debug[2].find("2(2)   .ClientStep"), std::string::npos);
    EXPECT_NE(debug[3].find("TRC    done"), std::string::npos);
}

TEST_F(Tracer, ServerModeLogsIntoTheServerLogFolder)
{
    const std::wstring logs = tempPath(L"trace server logs");
    CreateDirectoryW(logs.c_str(), nullptr);
    ASSERT_TRUE(setSettingDword(HKEY_LOCAL_MACHINE, L"Server", 1));
    ASSERT_TRUE(setEnvironment(L"NVS_DATA_LOGS", logs));
    DBG_Print(kSource, 1, DBG_MASK_REL | DBG_MASK_TO_LOG, DBG_Text("in server mode"));
    deleteSetting(HKEY_LOCAL_MACHINE, L"Server");
    removeEnvironment(L"NVS_DATA_LOGS");

    const std::wstring folder = logs + L"\\Veranto 6.2";
    for (const wchar_t* name : {L"\\VRCDBG62.LOG", L"\\VRCDRV62.LOG"}) {
        EXPECT_EQ(timeless(readLines(folder + name)), (Lines{headerOf("trace_sample.c", 1) + "REL    in server mode"}));
        removeFile(folder + name);
    }
    RemoveDirectoryW(folder.c_str());
    RemoveDirectoryW(logs.c_str());
    EXPECT_FALSE(fileExists(driverLogPath()));
}
