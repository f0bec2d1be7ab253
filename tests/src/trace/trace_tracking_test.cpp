// Function tracking cases around held lines, long names and contexts that
// are missing, and tracing while another process holds the logging semaphore.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "helper_programs.h"
#include "registry_state.h"
#include "shared_file.h"
#include "trace/tracer_seams.h"
#include "trace_log_files.h"
#include "trace_log_lines.h"
#include "vrcommon.h"

using namespace vr::test;

namespace {

constexpr const char* kSource = "C:\\src\\tracking.c";

class Tracking : public ::testing::Test {
protected:
    void SetUp() override
    {
        deleteSetting(HKEY_CURRENT_USER, L"DriverLogFile");
        debugLog_ = currentLogFolder() + L"\\VRCDBG62.LOG";
        DeleteFileW(debugLog_.c_str());
        DbgErrorLatch = 0;
        vr::trace::setErrorBoxHook([](const char*) { ++boxes; });
        boxes = 0;
    }
    void TearDown() override
    {
        vr::trace::setErrorBoxHook(nullptr);
        vr::trace::setContextAllocator(nullptr);
        DbgErrorLatch = 0;
    }

    std::vector<std::string> debugLines() const { return timeless(readLines(debugLog_)); }

    static inline std::atomic<int> boxes{0};
    std::wstring debugLog_;

private:
    SavedValue driverLogFile_{HKEY_CURRENT_USER, kSettingsKey, L"DriverLogFile"};
};

}  // namespace

TEST_F(Tracking, ReturnOfAHiddenEntryWritesNothingWhileLinesAreHeld)
{
    const int a = DBG_TRACE(kSource, 1, 9, "A");
    const int b = DBG_TRACE(kSource, 2, 9, "B");
    RETURN(kSource, 3, b);  // B's entry line stays held
    const int hidden = DBG_TRACE(kSource, 4, 1, "Hidden");
    EXPECT_EQ(hidden, -1);
    RETURN(kSource, 5, hidden);
    DBG_Trc(kSource, 6, a, DBG_Text("held trc"));  // writes B's line, holds its own
    const std::vector<std::string> beforeReturn = debugLines();
    const int hiddenAgain = DBG_TRACE(kSource, 7, 1, "Hidden");
    RETURN(kSource, 8, hiddenAgain);
    EXPECT_EQ(debugLines(), beforeReturn) << "RETURN with -1 wrote a held line";
    RETURN(kSource, 9, a);
    const std::vector<std::string> expected{"", headerOf("tracking.c", 1) + "1      A",
                                            headerOf("tracking.c", 2) + "2      .B",
                                            headerOf("tracking.c", 6) + "TRC    held trc"};
    EXPECT_EQ(debugLines(), expected);
    EXPECT_EQ(boxes, 0);
}

TEST_F(Tracking, HeldLinesGoWithTheContextWhenTheOutermostEntryWasHidden)
{
    const int outer = DBG_TRACE(kSource, 1, 0, "HiddenOuter");
    ASSERT_EQ(outer, -1);
    const int first = DBG_TRACE(kSource, 2, 9, "First");
    ASSERT_EQ(first, 2);
    RETURN(kSource, 3, first);
    const int second = DBG_TRACE(kSource, 4, 9, "Second");  // writes First's held line
    RETURN(kSource, 5, second);
    RETURN(kSource, 6, outer);  // Second's line is still held
    EXPECT_FALSE(vr::trace::contextListed(GetCurrentThreadId()));
    const int next = DBG_TRACE(kSource, 7, 9, "Next");
    RETURN(kSource, 8, next);
    EXPECT_EQ(debugLines(), (std::vector<std::string>{headerOf("tracking.c", 2) + "2      .First", "",
                                                      headerOf("tracking.c", 7) + "1      Next"}));
}

TEST_F(Tracking, LongNameIsCutTo256InTheLineAnd255InItsSlot)
{
    std::string name;
    for (int i = 0; i < 300; ++i)
        name.push_back(static_cast<char>('a' + i % 26));
    const int outer = DBG_TRACE(kSource, 1, 9, name.c_str());
    const int inner = DBG_TRACE(kSource, 2, 9, "Inner");
    RETURN(kSource, 3, outer);  // mismatch: the report names slot 0
    RETURN(kSource, 4, inner);
    const std::string log = readSharedFile(debugLog_);
    EXPECT_NE(log.find("1      " + name.substr(0, 256) + "\r\n"), std::string::npos);
    EXPECT_EQ(log.find(name.substr(0, 257)), std::string::npos);
    EXPECT_NE(log.find("called by " + name.substr(0, 255) + "\nDetected"), std::string::npos);
    EXPECT_EQ(boxes, 1);
}

TEST_F(Tracking, ReturnOfAnEntryMadeWithoutAContextMakesNone)
{
    // Another thread holds the fallback context while allocation fails, so this
    // thread's DBG_TRACE has no context at all; allocation works again by its RETURN.
    vr::trace::setContextAllocator([](std::size_t) -> void* { return nullptr; });
    std::atomic<bool> borrowed{false}, done{false};
    std::thread holder([&] {
        const int r = DBG_TRACE(kSource, 1, 9, "HoldsTheFallback");
        borrowed = true;
        while (!done)
            Sleep(1);
        RETURN(kSource, 2, r);
    });
    while (!borrowed)
        Sleep(1);
    const int entry = DBG_TRACE(kSource, 3, 9, "NoContext");
    EXPECT_EQ(entry, -1);
    vr::trace::setContextAllocator(nullptr);
    RETURN(kSource, 4, entry);
    EXPECT_FALSE(vr::trace::contextListed(GetCurrentThreadId()));
    EXPECT_EQ(boxes, 0);
    EXPECT_EQ(readSharedFile(debugLog_).find("below 0"), std::string::npos);
    // The thread's next function starts at level 1 again.
    const int next = DBG_TRACE(kSource, 5, 9, "Next");
    EXPECT_EQ(next, 1);
    RETURN(kSource, 6, next);
    done = true;
    holder.join();

    // On the fallback context itself a hidden outermost entry returns cleanly.
    vr::trace::setContextAllocator([](std::size_t) -> void* { return nullptr; });
    const int hidden = DBG_TRACE(kSource, 7, 0, "HiddenOnFallback");
    vr::trace::setContextAllocator(nullptr);
    RETURN(kSource, 8, hidden);
    EXPECT_EQ(boxes, 0);
    EXPECT_EQ(DBG_TRACE(kSource, 9, 9, "AfterFallback"), 1);
    RETURN(kSource, 10, 1);
}

TEST_F(Tracking, SemaphoreHeldElsewhereDelaysNoThread)
{
    const int outer = DBG_TRACE(kSource, 1, 9, "InsideBeforeTheHolder");
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, L"trace_helper_ready");
    StartedProgram holder = startProgram(helperPath(L"trace_helper.exe"), L"hold 8000");
    ASSERT_TRUE(holder.process);
    ASSERT_EQ(WaitForSingleObject(ready, 20000), WAIT_OBJECT_0);
    CloseHandle(ready);

    // This thread has its context: nested functions and messages do not wait.
    const ULONGLONG start = GetTickCount64();
    for (int i = 0; i < 20; ++i) {
        const int nested = DBG_TRACE(kSource, 2, 9, "Nested");
        DBG_Trc(kSource, 3, nested, DBG_Text("nested %d", i));
        RETURN(kSource, 4, nested);
    }
    DBG_Print(kSource, 5, DBG_MASK_TO_LOG, DBG_Text("inside, not waiting"));
    EXPECT_LT(GetTickCount64() - start, 4000u);  // less than one semaphore wait

    // A new thread finds its context in the list under the process's own
    // lock: it does not wait for the holder, and its line is written.
    ULONGLONG waited = 0;
    std::thread([&waited] {
        const ULONGLONG begin = GetTickCount64();
        DBG_Print(kSource, 6, DBG_MASK_TO_LOG, DBG_Text("new thread"));
        waited = GetTickCount64() - begin;
    }).join();
    EXPECT_LT(waited, 4000u);  // less than one semaphore wait
    EXPECT_NE(readSharedFile(debugLog_).find("new thread"), std::string::npos);
    EXPECT_EQ(waitForExitCode(holder.process.get(), 20000), 0u) << "a release of what was never taken";
    RETURN(kSource, 7, outer);
    EXPECT_NE(readSharedFile(debugLog_).find("inside, not waiting"), std::string::npos);
}
