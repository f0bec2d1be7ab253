// vrclog.exe as its users run it: a separate process reading the captured
// logs, or following a log that this test appends to and rotates, its output
// read through a pipe and its exit code checked.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "child_program.h"
#include "scratch_folder.h"
#include "shared_file.h"
#include "text.h"
#include "vrcommon.h"
#include "wine_paths.h"

using ::testing::HasSubstr;

namespace {

using ToolRun = vr::test::ProgramOutput;

std::wstring dataPath(const char* name)
{
    return L"\"" + vr::test::windowsPath(std::string(VR_SOURCE_DIR) + "/tests/vrclog/data/" + name) + L"\"";
}

const std::wstring& vrclogProgram()
{
    static const std::wstring program = vr::test::windowsPath(VR_BIN_DIR "/vrclog.exe");
    return program;
}

ToolRun vrclog(const std::wstring& arguments) { return vr::test::runCapturingOutput(vrclogProgram(), arguments); }

// A record as the tracer writes it.
std::string record(int serial, const char* lineClass, const std::string& text)
{
    char header[128];
    std::snprintf(
        header, sizeof header,
        "VRCCLN  2026-12-08 00:48:%02d.%03d vrclog_corpus_writer  308  312        corpus_writer.cpp   88 %-6s ",
        38 + serial / 1000, serial % 1000, lineClass);
    return header + text + "\r\n";
}

// Appends as the tracer does: one write, the log opened sharing read only,
// so that writers exclude each other while readers read on.
void append(const std::wstring& log, const std::string& bytes)
{
    const vr::UniqueHandle file = vr::adoptFileHandle(CreateFileW(
        log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    ASSERT_TRUE(file && WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                written == bytes.size());
}

// Once an open that shares nothing fails, another program holds the file.
bool heldByAnother(const std::wstring& path)
{
    for (int tries = 0; tries < 1000; ++tries, Sleep(10)) {
        if (!vr::adoptFileHandle(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)) &&
            GetLastError() == ERROR_SHARING_VIOLATION)
            return true;
    }
    return false;
}

TEST(VrclogTool, LinesKeepTheLogsBytesAndLineEnds)
{
    const ToolRun run = vrclog(L"lines --class REL --pid 308 " + dataPath("VRCDRV62.LOG"));
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    // No text-mode translation: CR LF stays CR LF, a bare LF stays bare.
    EXPECT_THAT(run.out, HasSubstr("REL    configuration:\n  queue=Main Office\n  copies=2\r\n"));
    EXPECT_EQ(run.out.find("\r\r\n"), std::string::npos);
}

TEST(VrclogTool, SummaryOfABackupAndItsLog)
{
    const ToolRun run =
        vrclog(L"summary " + dataPath("rotated/VRCDBG62.BAK") + L" " + dataPath("rotated/VRCDBG62.LOG"));
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_THAT(run.out, HasSubstr("       200  Recurse\n"));
    EXPECT_THAT(run.out, HasSubstr("DEBUG ERROR: Function level count below 0."));
}

TEST(VrclogTool, FollowPrintsEachAppendedLineOnceInOrderAcrossARotation)
{
    const vr::test::ScratchFolder folder("vrclog-follow");
    const std::wstring log = folder.path() + L"\\VRCDRV62.LOG";
    append(log, record(0, "REL", "in the log before following began"));
    // A writer that shares nothing holds the log as vrclog starts: vrclog waits for it.
    vr::UniqueHandle writer = vr::adoptFileHandle(
        CreateFileW(log.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    const vr::test::OutputtingProgram follow =
        vr::test::startCapturingOutput(vrclogProgram(), L"lines --follow --class REL \"" + log + L"\"");
    ASSERT_TRUE(follow.started.process);
    Sleep(500);
    writer.reset();
    ASSERT_TRUE(heldByAnother(log));

    // vrclog looks at the log every 100 ms.
    constexpr DWORD kLongerThanALook = 300;
    enum class Write { Whole, Burst, InTwoHalves, AfterRotation, ThenPause };
    struct Append {
        Write write;
        const char* lineClass;
        const char* text;
    };
    constexpr Append kAppends[] = {
        {Write::Whole, "REL", "first"},
        {Write::Whole, "TRC", "another class, not shown"},
        {Write::ThenPause, "REL", "configuration:\n  queue=Main Office\n  copies=2"},
        {Write::InTwoHalves, "REL", "a line a read may end in the middle of"},
        {Write::Burst, "REL", "before the rotation"},
        {Write::AfterRotation, "REL", "first in the new log"},
        {Write::Burst, "REL", "after the rotation"},
        {Write::ThenPause, "REL", "last"},
    };
    std::string expected;
    int serial = 1;
    for (const Append& row : kAppends) {
        std::vector<std::string> records;
        for (int i = 0; i < (row.write == Write::Burst ? 40 : 1); ++i) {
            std::string text = row.text;
            text.append(" ").append(std::to_string(i));
            records.push_back(record(serial++, row.lineClass, text));
        }
        if (row.write == Write::AfterRotation) {
            // As the writer rotates: the log becomes the backup, the next line makes a new log.
            ASSERT_TRUE(MoveFileExW(log.c_str(), (log.substr(0, log.size() - 3) + L"BAK").c_str(), 0));
        }
        for (const std::string& bytes : records) {
            if (row.write == Write::InTwoHalves) {
                append(log, bytes.substr(0, 40));
                Sleep(kLongerThanALook);
                append(log, bytes.substr(40));
            } else {
                append(log, bytes);
            }
            if (std::string(row.lineClass) == "REL")
                expected += bytes;
        }
        if (row.write == Write::ThenPause)
            Sleep(kLongerThanALook);
    }
    std::string printed;
    EXPECT_TRUE(vr::test::readOutputUntil(follow, printed, record(serial - 1, "REL", "last 0"), 10000));
    // Interrupted, it has nothing more to say.
    TerminateProcess(follow.started.process.get(), 0);
    WaitForSingleObject(follow.started.process.get(), 5000);
    vr::test::readOutputUntil(follow, printed, "", 1000);
    EXPECT_EQ(printed, expected);
}

// The tracer itself as the writer, in this process: the log starts just past
// the rotation size, so the first line appended moves it to the backup under
// vrclog's open handle and the lines after it make a new log.
TEST(VrclogTool, FollowCarriesOnThroughTheTracersOwnRotation)
{
    const vr::test::ScratchFolder folder("vrclog-follow-rotation");
    const std::wstring log = folder.path() + L"\\VRCDRV62.LOG";
    constexpr long long kPastTheLimit = 100000001;
    ASSERT_TRUE(vr::test::setFileSize(log, kPastTheLimit - 2));
    append(log, "\r\n");  // a log ends with a whole line
    const vr::test::OutputtingProgram follow =
        vr::test::startCapturingOutput(vrclogProgram(), L"lines -f \"" + log + L"\"");
    ASSERT_TRUE(follow.started.process);
    ASSERT_TRUE(heldByAnother(log));

    std::string expected;
    for (int serial = 0; serial < 20; ++serial) {
        const std::string bytes = record(serial, "REL", "through the rotation " + std::to_string(serial));
        DBG_AppendToLog(log.c_str(), bytes.c_str());
        expected += bytes;
    }
    const std::wstring backup = log.substr(0, log.size() - 3) + L"BAK";
    EXPECT_EQ(vr::test::readSharedFile(backup, kPastTheLimit), record(0, "REL", "through the rotation 0"));
    std::string printed;
    EXPECT_TRUE(vr::test::readOutputUntil(follow, printed, record(19, "REL", "through the rotation 19"), 10000));
    TerminateProcess(follow.started.process.get(), 0);
    EXPECT_EQ(printed, expected);
}

// JSON Lines from a growing log: each record once it is whole, a multi-line
// text as one object, a line a read ends in the middle of kept until its end.
TEST(VrclogTool, FollowJsonPrintsEachRecordOnceWhole)
{
    const vr::test::ScratchFolder folder("vrclog-follow-json");
    const std::wstring log = folder.path() + L"\\VRCDRV62.LOG";
    append(log, record(0, "REL", "in the log before following began"));
    const vr::test::OutputtingProgram follow =
        vr::test::startCapturingOutput(vrclogProgram(), L"lines --follow --json --utc-offset +01:00 \"" + log + L"\"");
    ASSERT_TRUE(follow.started.process);
    ASSERT_TRUE(heldByAnother(log));
    const auto json = [](const char* millisecond, const std::string& text) {
        return R"({"time":"2026-12-08T00:48:38.00)" + std::string(millisecond) +
               R"(+01:00","module":"VRCCLN","process":"vrclog_corpus_writer","pid":308,"tid":312,)"
               R"("file":"corpus_writer.cpp","line":88,"class":"REL","text":")" +
               text + R"(","log":"VRCDRV62.LOG"})" + "\n";
    };
    append(log, record(1, "REL", "configuration:\n  copies=2"));
    const std::string halves = record(2, "REL", "a line a read may end in the middle of");
    append(log, halves.substr(0, 40));
    Sleep(300);  // longer than vrclog's look at the log every 100 ms
    append(log, halves.substr(40));
    const std::string expected =
        json("1", R"(configuration:\n  copies=2)") + json("2", "a line a read may end in the middle of");
    std::string printed;
    EXPECT_TRUE(vr::test::readOutputUntil(follow, printed, expected, 10000));
    TerminateProcess(follow.started.process.get(), 0);
    EXPECT_EQ(printed, expected);
}

TEST(VrclogTool, ExitCodesAndMessages)
{
    EXPECT_EQ(vrclog(L"lines --pid 999 " + dataPath("VRCDBG62.LOG")).exitCode, 1u);
    const ToolRun bad = vrclog(L"lines --class WARN " + dataPath("VRCDBG62.LOG"));
    EXPECT_EQ(bad.exitCode, 2u);
    EXPECT_THAT(bad.err, HasSubstr("vrclog: --class takes"));
    const ToolRun missing = vrclog(L"tree " + dataPath("nothing.LOG"));
    EXPECT_EQ(missing.exitCode, 3u);
    EXPECT_THAT(missing.err, HasSubstr("vrclog: cannot read '"));
    const ToolRun help = vrclog(L"--help");
    EXPECT_EQ(help.exitCode, 0u);
    EXPECT_THAT(help.out, HasSubstr("vrclog perfetto -o FILE"));
}

}  // namespace
