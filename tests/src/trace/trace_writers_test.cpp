// Many writers on one driver log at once, from threads of one process and
// from several processes, with readers and other holders of the log: every
// line arrives once, whole, in its thread's order, and a log past its limit is
// moved by one writer only.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/handles.h"
#include "registry_state.h"
#include "scratch_folder.h"
#include "shared_file.h"
#include "trace_log_files.h"
#include "trace_log_lines.h"
#include "helper_programs.h"
#include "vrcommon.h"

using namespace vr::test;

namespace {

constexpr LONGLONG kPastTheLimit = 100000001;
constexpr const char* kSource = "C:\\src\\writers.c";

// Each line of a log's text, with the time as "@"; the text ends with a line.
template <class Check>
void forEachLine(const std::string& text, Check check)
{
    EXPECT_TRUE(text.empty() || text.ends_with("\r\n"));
    for (std::size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        check(timeless(text.substr(start, end - start)));
}

class ManyWriters : public ::testing::Test {
protected:
    void SetUp() override { setDriverLogFile(log_); }

    // Helper processes tagged A, B, ... each tracing kRounds rounds from
    // `threads` threads, started together.
    static void runWriters(int processes, int threads)
    {
        const vr::UniqueHandle go(CreateEventW(nullptr, TRUE, FALSE, L"trace_load_go"));
        std::vector<HANDLE> helpers;
        for (int p = 0; p < processes; ++p)
            helpers.push_back(startHelper(L"lines " + std::to_wstring(threads) + L" " + std::to_wstring(kRounds) +
                                          L" " + wchar_t(L'A' + p)));
        Sleep(300);
        SetEvent(go.get());
        for (HANDLE helper : helpers)
            EXPECT_EQ(waitForExit(helper, 120000), 0u);
    }

    // The texts, in order, hold each thread's lines once, whole and in its
    // order, and nothing else.
    static void expectEveryLine(const std::vector<std::string>& texts, int processes, int threads)
    {
        static const std::regex whole(
            R"(VRCCLN  @ trace_helper +\d+ +\d+ +trace_helper\.cpp +\d+ REL    line (\w \d) (\d+ (?:in|out)) END)");
        std::map<std::string, std::vector<std::string>> found, expected;
        for (const std::string& text : texts)
            forEachLine(text, [&](const std::string& line) {
                std::smatch parts;
                EXPECT_TRUE(std::regex_match(line, parts, whole)) << line;
                found[parts[1]].push_back(parts[2]);
            });
        for (int p = 0; p < processes; ++p)
            for (int t = 0; t < threads; ++t)
                for (int i = 0; i < kRounds * 2; ++i)
                    expected[std::string(1, char('A' + p)) + " " + std::to_string(t)].push_back(
                        std::to_string(i / 2) + (i % 2 == 0 ? " in" : " out"));
        EXPECT_EQ(found, expected);
    }

    static constexpr int kRounds = 100;
    ScratchFolder scratch_{"trace_writers"};
    const std::wstring log_ = scratch_.path() + L"\\driver.log";

private:
    SavedValue driverLogFile_{HKEY_CURRENT_USER, kSettingsKey, L"DriverLogFile"};
};

}  // namespace

TEST_F(ManyWriters, EveryLineArrivesOnceWholeAndInOrder)
{
    // Folders of 100 characters make a path past 260 characters.
    const std::wstring longFolder = scratch_.path() + L"\\" + std::wstring(100, L'f');
    const std::wstring longLog =
        longFolder + L"\\" + std::wstring(100, L'g') + L"\\" + std::wstring(60, L'h') + L".log";
    ASSERT_TRUE(CreateDirectoryW(longFolder.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(longLog.substr(0, longLog.rfind(L'\\')).c_str(), nullptr));
    constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const struct {
        const char* name;
        int processes, threads;
        DWORD readerShares;  // 0: no reader
        LONGLONG size;  // of the log before
        const std::wstring& log;
    } cases[] = {
        {"2 processes x 4 threads", 2, 4, 0, 0, log_},
        {"1 process x 8 threads", 1, 8, 0, 0, log_},
        {"2 x 4, a reader sharing everything", 2, 4, kShareAll, 0, log_},
        {"2 x 2 past the limit: one moves it", 2, 2, 0, kPastTheLimit, log_},
        {"2 x 2 past the limit, a path of 260 characters and more", 2, 2, kShareAll, kPastTheLimit, longLog},
        // The writers cannot move the log: they append without rotating.
        {"1 x 8 past the limit, a reader sharing read and write", 1, 8, FILE_SHARE_READ | FILE_SHARE_WRITE,
         kPastTheLimit, log_},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring backup = c.log.substr(0, c.log.size() - 3) + L"BAK";
        DeleteFileW(c.log.c_str());
        DeleteFileW(backup.c_str());
        setDriverLogFile(c.log);
        ASSERT_TRUE(setFileSize(c.log, c.size));
        vr::UniqueHandle reader;
        if (c.readerShares != 0)
            reader = vr::adoptFileHandle(
                CreateFileW(c.log.c_str(), GENERIC_READ, c.readerShares, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_EQ(static_cast<bool>(reader), c.readerShares != 0);
        runWriters(c.processes, c.threads);
        reader.reset();
        // A moved log is in the backup, with the lines appended before the move.
        const bool moved = c.size > 0 && (c.readerShares == 0 || (c.readerShares & FILE_SHARE_DELETE) != 0);
        const std::string backupLines = readSharedFile(backup, c.size);
        EXPECT_EQ(fileSize(backup), moved ? c.size + static_cast<LONGLONG>(backupLines.size()) : -1);
        expectEveryLine({backupLines, readSharedFile(c.log, moved ? 0 : c.size)}, c.processes, c.threads);
    }
}

TEST_F(ManyWriters, LineWaitsAboutASecondForAnotherProcessHoldingTheLog)
{
    const struct {
        DWORD heldMs;
        bool arrives;
    } cases[] = {{50, true}, {3000, false}};
    const vr::UniqueHandle ready(CreateEventW(nullptr, TRUE, FALSE, L"trace_helper_ready"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.heldMs);
        ResetEvent(ready.get());
        HANDLE holder = startHelper(L"lock " + std::to_wstring(c.heldMs) + L" \"" + log_ + L"\"");
        ASSERT_EQ(WaitForSingleObject(ready.get(), 20000), WAIT_OBJECT_0);
        const std::string text = "while held " + std::to_string(c.heldMs) + " ms";
        const ULONGLONG start = GetTickCount64();
        DBG_Print("C:\\src\\held.c", 1, DBG_MASK_REL, DBG_Text("%s", text.c_str()));
        const ULONGLONG took = GetTickCount64() - start;
        EXPECT_EQ(waitForExit(holder, 20000), 0u);
        EXPECT_EQ(readSharedFile(log_).find(text) != std::string::npos, c.arrives);
        EXPECT_TRUE(c.arrives || (took >= 900 && took < 2900)) << took;
    }
}

TEST_F(ManyWriters, ProcessThatExitsWhileItsThreadsTraceNeverWaitsForThem)
{
    // Its threads are ended wherever they are, one maybe while it writes for
    // the others; the line traced as the process shuts down waits for none
    // of them.
    EXPECT_EQ(waitForExit(startHelper(L"exit 8"), 30000), 0u);
    {
        // Held by another program, the log costs the exiting process one
        // wait for its ten lines at exit, not one each (its one thread
        // traced first, so that the log's path is known at exit).
        const vr::UniqueHandle holder = vr::adoptFileHandle(
            CreateFileW(log_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr));
        const ULONGLONG start = GetTickCount64();
        EXPECT_EQ(waitForExit(startHelper(L"exit 1"), 30000), 0u);
        EXPECT_LT(GetTickCount64() - start, 6000u);
    }
    static const std::regex whole(
        R"(VRCCLN  @ trace_helper +\d+ +\d+ +trace_exit_library\.cpp +\d+ REL    (busy \d \d+ END|at exit))");
    forEachLine(readSharedFile(log_),
                [](const std::string& line) { EXPECT_TRUE(std::regex_match(line, whole)) << line; });
}

namespace {

// Traces "<tag> <thread> <i> <padding> END" from each of `threads` threads,
// one line every `everyMs` for `forMs`; each thread's time inside its calls.
std::vector<ULONGLONG> traceFromThreads(int threads, const char* tag, DWORD everyMs, DWORD forMs,
                                        std::size_t padding = 1)
{
    std::vector<ULONGLONG> inCalls(threads);
    std::vector<std::thread> workers;
    const std::string pad(padding, 'p');
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&, t] {
            const ULONGLONG end = GetTickCount64() + forMs;
            for (int i = 0; i == 0 || GetTickCount64() < end; ++i) {
                const ULONGLONG start = GetTickCount64();
                DBG_Print(kSource, 1, DBG_MASK_REL, DBG_Text("%s %d %d %s END", tag, t, i, pad.c_str()));
                inCalls[t] += GetTickCount64() - start;
                Sleep(everyMs);
            }
        });
    for (std::thread& worker : workers)
        worker.join();
    return inCalls;
}

// Each thread's line numbers as the log holds them, and the lines the log
// says it lost.
struct TracedLines {
    std::map<int, std::vector<int>> byThread;
    long lost = 0;
    std::vector<std::string> causes;
    long mostBackwardsMs = 0;  // how far a line's time goes back before a line above it
};
TracedLines tracedLines(const std::string& text, const char* tag)
{
    const std::regex line(std::string(R"(.* REL    )") + tag + R"( (\d) (\d+) p+ END)");
    static const std::regex gap(R"(.* REL    TRACE ERROR: (\d+) lines? could not be written to this log: (.*)\.)");
    static const std::regex time(R"(\S+ +\d{4}-\d\d-\d\d (\d\d):(\d\d):(\d\d)\.(\d{3}) .*)");
    TracedLines traced;
    long latestMs = 0;
    forEachLine(text, [&](const std::string& found) {
        std::smatch parts;
        if (std::regex_match(found, parts, time)) {
            const long ms = ((std::stol(parts[1]) * 60 + std::stol(parts[2])) * 60 + std::stol(parts[3])) * 1000 +
                            std::stol(parts[4]);
            traced.mostBackwardsMs = std::max(traced.mostBackwardsMs, latestMs - ms);
            latestMs = std::max(latestMs, ms);
        }
        if (std::regex_match(found, parts, line))
            traced.byThread[std::stoi(parts[1])].push_back(std::stoi(parts[2]));
        else if (std::regex_match(found, parts, gap))
            traced.lost += std::stol(parts[1]), traced.causes.push_back(parts[2]);
        else
            ADD_FAILURE() << found;
    });
    return traced;
}

}  // namespace

TEST_F(ManyWriters, SemaphoreLeftTakenByADeadProcessCostsNothing)
{
    DBG_Print(kSource, 1, DBG_MASK_REL, DBG_Text("keeping the semaphore open"));
    ASSERT_EQ(waitForExit(startHelper(L"die"), 20000), 0u);
    for (const int threads : {1, 4}) {
        const std::vector<ULONGLONG> inCalls = traceFromThreads(threads, "dead", 0, 0);
        EXPECT_LT(*std::max_element(inCalls.begin(), inCalls.end()), 4000u) << threads;
    }
    DeleteFileW(log_.c_str());
    for (int i = 0; i < 10; ++i)
        traceFromThreads(1, "dead", 0, 0);
    const TracedLines traced = tracedLines(readSharedFile(log_), "dead");
    EXPECT_EQ(traced.byThread.at(0).size(), 10u);
    // A process started now traces its first line at once.
    const vr::UniqueHandle go(CreateEventW(nullptr, TRUE, TRUE, L"trace_load_go"));
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(waitForExit(startHelper(L"lines 1 1 N"), 20000), 0u);
    EXPECT_LT(GetTickCount64() - start, 4000u);
    EXPECT_NE(readSharedFile(log_).find("line N 0 0 out END"), std::string::npos);
}

TEST_F(ManyWriters, LogHeldByAnotherProgramCostsEachThreadOneWait)
{
    vr::UniqueHandle holder = vr::adoptFileHandle(
        CreateFileW(log_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr));
    ASSERT_TRUE(holder);
    std::thread release([&holder] { Sleep(3000), holder.reset(); });
    // Lines of about 1 KB, every 40 ms from 2 threads: more than the log keeps.
    const std::vector<ULONGLONG> inCalls = traceFromThreads(2, "held", 40, 4000, 1000);
    release.join();
    for (const ULONGLONG spent : inCalls)
        EXPECT_LT(spent, 1800u);
    const TracedLines traced = tracedLines(readSharedFile(log_), "held");
    long found = 0, last[2] = {0, 0};
    for (const auto& [thread, numbers] : traced.byThread) {
        EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end()));
        EXPECT_EQ(std::adjacent_find(numbers.begin(), numbers.end()), numbers.end());
        found += static_cast<long>(numbers.size());
        last[thread] = numbers.back();
    }
    EXPECT_GT(traced.lost, 0);
    EXPECT_EQ(found + traced.lost, last[0] + last[1] + 2) << "every line there or counted";
    // The kept lines, then the line that counts those lost after them: time
    // goes back only by what two threads' lines differ in the queue.
    EXPECT_EQ(traced.causes, std::vector<std::string>{"another program held it open"});
    EXPECT_LT(traced.mostBackwardsMs, 500);
    // Written again, the log is waited for as before when it is held briefly.
    holder = vr::adoptFileHandle(
        CreateFileW(log_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr));
    std::thread briefly([&holder] { Sleep(100), holder.reset(); });
    DBG_Print(kSource, 2, DBG_MASK_REL, DBG_Text("after a brief hold"));
    briefly.join();
    EXPECT_NE(readSharedFile(log_).find("after a brief hold"), std::string::npos);
}

TEST_F(ManyWriters, LinesForTwoNamedLogsEachReachTheirOwn)
{
    const std::wstring logs[2] = {scratch_.path() + L"\\first.log", scratch_.path() + L"\\second.log"};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&logs, t] {
            for (int i = 0; i < 200; ++i)
                for (int l = 0; l < 2; ++l)
                    DBG_AppendToLog(logs[l].c_str(), ("log " + std::to_string(l) + " " + std::to_string(t) + " " +
                                                      std::to_string(i) + "\r\n")
                                                         .c_str());
        });
    for (std::thread& thread : threads)
        thread.join();
    for (int l = 0; l < 2; ++l) {
        std::map<int, std::vector<int>> found, expected;
        std::istringstream lines(readSharedFile(logs[l]));
        std::string word;
        for (int log, thread, number; lines >> word >> log >> thread >> number;) {
            EXPECT_EQ(log, l);
            found[thread].push_back(number);
        }
        for (int t = 0; t < 4; ++t)
            for (int i = 0; i < 200; ++i)
                expected[t].push_back(i);
        EXPECT_EQ(found, expected) << l;
    }
}
