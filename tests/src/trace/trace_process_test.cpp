// Two processes tracing with the same module tag.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "shared_file.h"
#include "trace/tracer_seams.h"
#include "trace_log_files.h"
#include "trace_log_lines.h"
#include "helper_programs.h"
#include "vrcommon.h"

using namespace vr::test;

TEST(TraceAcrossProcesses, HolderPastFiveSecondsCostsOnlyTheLock)
{
    clearDriverLogFile();
    removeLogs();
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, L"trace_helper_ready");
    HANDLE holder = startHelper(L"hold 8000");
    ASSERT_NE(holder, nullptr);
    ASSERT_EQ(WaitForSingleObject(ready, 20000), WAIT_OBJECT_0);
    CloseHandle(ready);

    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(DBG_Lock(), nullptr);
    const ULONGLONG waited = GetTickCount64() - start;
    EXPECT_GE(waited, 4900u);
    EXPECT_LT(waited, 9500u);  // one wait, not two

    // A message goes on unlocked and still reaches its log.
    DBG_Print("C:\\x\\waiting.c", 1, DBG_MASK_REL, DBG_Text("while held"));
    EXPECT_NE(readSharedFile(driverLogPath()).find("REL    while held"), std::string::npos);

    // Had either call given back what it never took, the holder's own release
    // would overflow the count of 1.
    EXPECT_EQ(waitForExit(holder, 20000), 0u);
    const ULONGLONG again = GetTickCount64();
    HANDLE lock = DBG_Lock();
    EXPECT_NE(lock, nullptr);
    DBG_Unlock(lock);
    EXPECT_LT(GetTickCount64() - again, 4000u);
    DBG_Unlock(nullptr);
}

TEST(TraceAcrossProcesses, EightThreadsInEachOfTwoProcessesWriteOnlyWholeLines)
{
    clearDriverLogFile();
    removeLogs();
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, L"trace_load_go");
    HANDLE first = startHelper(L"load 8 60");
    HANDLE second = startHelper(L"load 8 60");
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    Sleep(500);
    SetEvent(go);
    EXPECT_EQ(waitForExit(first, 240000), 0u);
    EXPECT_EQ(waitForExit(second, 240000), 0u);
    CloseHandle(go);

    static const std::regex header(R"(VRCCLN  @ trace_helper +\d+ +\d+ +trace_helper\.cpp +\d+ )");
    static const std::regex message(R"((TRC    |TRCx\d  |DBG    |REL    )load [0-7] \d+ p{80} END)");
    static const std::regex entry(R"(1      Worker)");
    int whole = 0;
    for (const std::wstring& log : {debugLogPath(), driverLogPath()}) {
        const std::string text = readSharedFile(log);
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
        for (const std::string& line : readLines(log)) {
            if (line.empty())
                continue;  // the empty line before each outermost entry
            const std::string stripped = timeless(line);
            std::smatch found;
            ASSERT_TRUE(std::regex_search(stripped, found, header) && found.position(0) == 0) << line;
            const std::string rest = found.suffix();
            EXPECT_TRUE(std::regex_match(rest, message) || std::regex_match(rest, entry)) << line;
            ++whole;
        }
    }
    EXPECT_GT(whole, 100);
}
