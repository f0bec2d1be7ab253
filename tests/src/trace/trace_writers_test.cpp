// Many writers on one driver log at once, from threads of one process and
// from several processes, with readers and other holders of the log: every
// line arrives once, whole, in its thread's order, and the log is rotated by
// one writer only.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "registry_state.h"
#include "scratch_folder.h"
#include "shared_file.h"
#include "text.h"
#include "trace_support.h"
#include "vrcommon.h"

using namespace vr::test;

namespace {

constexpr LONGLONG kPastTheLimit = 100000001;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The lines of each writing thread ("<tag> <thread>") in the order the logs
// hold them, as "<round> <in|out>".
using Sequences = std::map<std::string, std::vector<std::string>>;

// Each line of a log's text, without its "\r\n", and with the time as "@".
template <class Check>
void forEachLine(const std::string& text, Check check)
{
    EXPECT_TRUE(text.empty() || text.ends_with("\r\n"));
    for (std::size_t start = 0, end; start < text.size(); start = end + 2) {
        end = text.find("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        check(withoutTime(text.substr(start, end - start)));
    }
}

// Adds the lines of a log's text; any line that is not one whole line of a
// helper's is a failure.
void collect(const std::string& text, Sequences& sequences)
{
    static const std::regex whole(
        R"(VRCCLN  @ trace_helper +\d+ +\d+ +trace_helper\.cpp +\d+ REL    line (\w \d) (\d+ (?:in|out)) END)");
    forEachLine(text, [&](const std::string& line) {
        std::smatch found;
        if (std::regex_match(line, found, whole))
            sequences[found[1]].push_back(found[2]);
        else
            ADD_FAILURE() << "not a whole line: " << line;
    });
}

void expectEveryLineOnceInOrder(const Sequences& sequences, int processes, int threads, int rounds)
{
    EXPECT_EQ(sequences.size(), static_cast<std::size_t>(processes * threads));
    for (int p = 0; p < processes; ++p)
        for (int t = 0; t < threads; ++t) {
            std::vector<std::string> expected;
            for (int i = 0; i < rounds; ++i)
                for (const char* where : {"in", "out"})
                    expected.push_back(std::to_string(i) + " " + where);
            const auto found = sequences.find(std::string(1, static_cast<char>('A' + p)) + " " + std::to_string(t));
            ASSERT_NE(found, sequences.end());
            EXPECT_EQ(found->second, expected) << found->first;
        }
}

class ManyWriters : public ::testing::Test {
protected:
    void SetUp() override { setDriverLogFile(log_); }

    // Helper processes tagged A, B, ... each writing from `threads` threads,
    // started together.
    static void runWriters(int processes, int threads, int rounds)
    {
        const vr::UniqueHandle go(CreateEventW(nullptr, TRUE, FALSE, L"trace_load_go"));
        std::vector<HANDLE> helpers;
        for (int p = 0; p < processes; ++p)
            helpers.push_back(startHelper(L"lines " + std::to_wstring(threads) + L" " + std::to_wstring(rounds) + L" " +
                                          wchar_t(L'A' + p)));
        Sleep(300);
        SetEvent(go.get());
        for (HANDLE helper : helpers)
            EXPECT_EQ(waitForExit(helper, 120000), 0u);
    }

    ScratchFolder scratch_{"trace_writers"};
    const std::wstring log_ = scratch_.path() + L"\\driver.log";

private:
    SavedValue driverLogFile_{HKEY_CURRENT_USER, kSettingsKey, L"DriverLogFile"};
};

}  // namespace

TEST_F(ManyWriters, EveryLineArrivesOnceWholeAndInOrder)
{
    const struct {
        const char* name;
        int processes, threads;
        DWORD readerShares;  // 0: no reader
    } cases[] = {
        {"2 processes x 4 threads", 2, 4, 0},
        {"1 process x 8 threads", 1, 8, 0},
        {"2 x 4, a reader sharing everything", 2, 4, kShareAll},
        {"1 x 8, a reader sharing read and write", 1, 8, FILE_SHARE_READ | FILE_SHARE_WRITE},
    };
    constexpr int kRounds = 100;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileW(log_.c_str());
        vr::UniqueHandle reader;
        if (c.readerShares != 0) {
            reader = vr::adoptFileHandle(
                CreateFileW(log_.c_str(), GENERIC_READ, c.readerShares, nullptr, OPEN_ALWAYS, 0, nullptr));
            ASSERT_TRUE(reader);
        }
        runWriters(c.processes, c.threads, kRounds);
        reader.reset();
        Sequences sequences;
        collect(readSharedFile(log_), sequences);
        expectEveryLineOnceInOrder(sequences, c.processes, c.threads, kRounds);
    }
}

TEST_F(ManyWriters, TwoProcessesOnALogPastTheLimitMoveItOnce)
{
    // Folders of 100 characters make a path past 260 characters.
    const std::wstring longFolder = scratch_.path() + L"\\" + std::wstring(100, L'f') + L"\\" + std::wstring(100, L'g');
    ASSERT_TRUE(CreateDirectoryW((scratch_.path() + L"\\" + std::wstring(100, L'f')).c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(longFolder.c_str(), nullptr));
    const std::wstring longLog = longFolder + L"\\" + std::wstring(60, L'h') + L".log";
    ASSERT_GE(longLog.size(), 260u);
    constexpr int kRounds = 50;
    for (const std::wstring& log : {log_, longLog}) {
        SCOPED_TRACE(narrow(log));
        const std::wstring backup = log.substr(0, log.size() - 3) + L"BAK";
        setDriverLogFile(log);
        ASSERT_TRUE(setFileSize(log, kPastTheLimit));
        runWriters(2, 2, kRounds);
        // The backup is the old log and the lines appended before the move.
        const std::string moved = readSharedFile(backup, kPastTheLimit);
        EXPECT_FALSE(moved.empty());
        EXPECT_EQ(fileSize(backup), kPastTheLimit + static_cast<LONGLONG>(moved.size()));
        EXPECT_LT(fileSize(log), kPastTheLimit);
        Sequences sequences;
        collect(moved, sequences);
        collect(readSharedFile(log), sequences);
        expectEveryLineOnceInOrder(sequences, 2, 2, kRounds);
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
        ASSERT_NE(holder, nullptr);
        ASSERT_EQ(WaitForSingleObject(ready.get(), 20000), WAIT_OBJECT_0);
        const std::string text = "while held " + std::to_string(c.heldMs) + " ms";
        const ULONGLONG start = GetTickCount64();
        DBG_Print("C:\\src\\held.c", 1, DBG_MASK_REL, DBG_Text("%s", text.c_str()));
        const ULONGLONG took = GetTickCount64() - start;
        EXPECT_EQ(waitForExit(holder, 20000), 0u);
        EXPECT_EQ(readSharedFile(log_).find(text) != std::string::npos, c.arrives);
        if (!c.arrives) {
            EXPECT_GE(took, 900u);
            EXPECT_LT(took, 1500u);
        }
    }
}

TEST_F(ManyWriters, ProcessThatExitsWhileItsThreadsTraceNeverWaitsForThem)
{
    // Its threads are ended wherever they are, one maybe while it writes for
    // the others; the line traced as the process shuts down waits for none
    // of them.
    DeleteFileW(log_.c_str());
    EXPECT_EQ(waitForExit(startHelper(L"exit 8"), 30000), 0u);
    static const std::regex whole(
        R"(VRCCLN  @ trace_helper +\d+ +\d+ +trace_exit_library\.cpp +\d+ REL    (busy \d \d+ END|at exit))");
    forEachLine(readSharedFile(log_),
                [](const std::string& line) { EXPECT_TRUE(std::regex_match(line, whole)) << line; });
}
