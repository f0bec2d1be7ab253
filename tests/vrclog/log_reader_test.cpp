// The reader: records of several lines, blank lines, error reports without a
// header, damaged lines; the same records whatever the buffer size; the merge
// of several logs by time; a live log's records as its reads come.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>

#include "command_lines.h"
#include "log_follow.h"
#include "vrclog_test_support.h"

namespace vr::vrclog {
namespace {

using testing::CopiedRecord;
using testing::readAll;

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string line(const char* time, const char* thread, const char* rest)
{
    char header[256];
    std::snprintf(header, sizeof header, "%-7s %23s %-20s%25s%5d ", "VRCCLN", time, thread, "a.cpp", 10);
    return std::string(header) + rest;
}

TEST(LogReader, MultiLineTextsErrorReportsAndBlankLines)
{
    const std::string log = line("2026-01-01 10:00:00.000", "app   10   11", "REL    first\n  second\n  third\r\n") +
                            "\r\n" + line("2026-01-01 10:00:00.001", "app   10   11", "1      Main\r\n") +
                            "DEBUG ERROR:\nMiss match of DBG_TRACE and RETURN in a function called by Main\n"
                            "Detected at C:\\src\\a.cpp line 10\n"
                            "DEBUG ERROR: Function level count below 0.\n" +
                            line("2026-01-01 10:00:00.002", "app   10   11", "DBG    last\r\n") +
                            "  and its end";  // no line end at the end
    const std::vector<CopiedRecord> records = readAll({log});
    ASSERT_EQ(records.size(), 5u);
    EXPECT_EQ(records[0].lineClass, LineClass::Rel);
    EXPECT_EQ(records[0].text, "first");
    EXPECT_EQ(records[0].fullText, "first\n  second\n  third");
    EXPECT_TRUE(records[0].raw.ends_with("third\r\n"));  // the blank line belongs to nothing
    EXPECT_EQ(records[1].lineClass, LineClass::Entry);
    EXPECT_EQ(records[1].raw.find('\r'), records[1].raw.size() - 2);

    // Reports written without a header take the time of the line before them.
    EXPECT_FALSE(records[2].hasHeader);
    EXPECT_EQ(records[2].lineClass, LineClass::Error);
    EXPECT_EQ(records[2].time, "2026-01-01 10:00:00.001");
    EXPECT_EQ(records[2].fullText, "DEBUG ERROR:\nMiss match of DBG_TRACE and RETURN in a function called by "
                                   "Main\nDetected at C:\\src\\a.cpp line 10");
    EXPECT_EQ(records[3].fullText, "DEBUG ERROR: Function level count below 0.");
    EXPECT_EQ(records[3].time, "2026-01-01 10:00:00.001");
    EXPECT_EQ(records[4].fullText, "last\r\n  and its end");
}

TEST(LogReader, ALastLineStillBeingWrittenIsLeftOutWhenItStartsLikeAHeader)
{
    const std::string whole = line("2026-12-08 00:48:38.450", "app   10   11", "REL    whole\r\n");
    const struct {
        std::string tail;
        bool leftOut;
    } cases[] = {
        {"VRCCLN  2026-12-08 00:48:38.45", true},
        {"VRCCLN ", true},
        {"VRCCLN  2026-12-08 00:48:38.451 app   1", true},
        {line("2026-12-08 00:48:38.451", "app   10   11", "REL    all but its line end"), true},
        {"  the text's last line", false},
        {"VRCCLN-2026-12-08", false},
    };
    for (const auto& c : cases) {
        const std::string log = whole + c.tail;
        LogMerge merge = testing::mergeOf({log});
        const std::vector<CopiedRecord> records = readAll(merge);
        ASSERT_EQ(records.size(), 1u) << c.tail;
        EXPECT_EQ(records[0].fullText, c.leftOut ? "whole" : "whole\r\n" + c.tail);
        EXPECT_EQ(merge.logsEndingInHalfALine().size(), c.leftOut ? 1u : 0u) << c.tail;
        // Followed, the line waits for its rest and then comes whole.
        LiveRecords live;
        std::vector<std::string> given;
        const auto take = [&](const LogRecord& record) { given.emplace_back(record.fullText()); };
        live.append(log);
        live.release(true, false, take);
        live.append("\r\n");
        live.release(true, true, take);
        EXPECT_EQ(given.size(), 2u) << c.tail;
        EXPECT_EQ(given.front(), "whole");
    }
}

TEST(LogReader, DamagedLinesStayWithTheLineBeforeThemAndAreCounted)
{
    const std::string log = "text before any header\r\n" +
                            line("2026-01-01 10:00:00.000", "app   10   11", "REL    one\r\n") +
                            "VRCCLN  2026-01-01 10:00:00.001 app   1\r\n"  // a header cut short
                            "\r\n"
                            "stray after a blank line\r\n" +
                            line("2026-01-01 10:00:00.002", "app   10   11", "REL    two\r\n");
    LogMerge merge = testing::mergeOf({log});
    const std::vector<CopiedRecord> records = readAll(merge);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_FALSE(records[0].hasHeader);
    EXPECT_EQ(records[0].time, "");
    EXPECT_EQ(records[0].text, "text before any header");
    EXPECT_EQ(records[1].text, "one");
    EXPECT_TRUE(records[1].raw.ends_with("\r\n\r\nstray after a blank line\r\n"));
    EXPECT_EQ(records[2].text, "two");
    EXPECT_EQ(merge.unparsedLines(), 3u);
    EXPECT_EQ(merge.skippedLines(), 0u);
}

TEST(LogReader, SameRecordsWithTinyBuffersAsWithLargeOnes)
{
    const std::string log = readFile(testing::dataPath("VRCDBG62.LOG"));
    ASSERT_FALSE(log.empty());
    const std::vector<CopiedRecord> large = readAll({log});
    // Blocks smaller than one line, and a record limit above the longest record.
    const std::vector<CopiedRecord> tiny = readAll({log}, ReaderLimits{16, 4096});
    ASSERT_EQ(large.size(), tiny.size());
    for (std::size_t i = 0; i < large.size(); ++i) {
        EXPECT_EQ(large[i].raw, tiny[i].raw) << i;
        EXPECT_EQ(large[i].text, tiny[i].text) << i;
        EXPECT_EQ(large[i].time, tiny[i].time) << i;
    }
    std::size_t entries = 0;
    for (const CopiedRecord& record : large)
        entries += record.lineClass == LineClass::Entry;
    EXPECT_EQ(entries, 2u * (1 + 2 * 2 * (1 + 2 * 2) + 100));
}

TEST(LogReader, OverLongLinesAndRecordsAreCutNotKept)
{
    const std::string longText(300, 'x');
    const std::string log = line("2026-01-01 10:00:00.000", "app   10   11", "REL    a\r\n") + longText + "\r\n" +
                            longText + "\r\n" + line("2026-01-01 10:00:00.001", "app   10   11", "REL    b\r\n") +
                            longText + longText + longText + "\r\n" +
                            line("2026-01-01 10:00:00.002", "app   10   11", "REL    c\r\n");
    LogMerge merge = testing::mergeOf({log}, ReaderLimits{64, 512});
    const std::vector<CopiedRecord> records = readAll(merge);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].text, "a");
    // The first long line fits the record limit, the second does not.
    EXPECT_EQ(records[0].fullText, "a\r\n" + longText);
    EXPECT_EQ(records[1].text, "b");
    // The line of 900 bytes does not fit beside record b: b goes out first,
    // then the line alone does not fit the buffer and is dropped.
    EXPECT_EQ(records[2].text, "c");
    EXPECT_EQ(merge.skippedLines(), 2u);
}

TEST(LogMerge, LogsAreMergedByTimeAndEqualTimesKeepTheOrderGiven)
{
    const std::string first = line("2026-01-01 10:00:00.000", "app   10   11", "REL    a1\r\n") +
                              line("2026-01-01 10:00:00.005", "app   10   11", "REL    a2\r\n") +
                              // held lines are written late with an earlier time: they keep their place
                              line("2026-01-01 10:00:00.001", "app   10   11", "TRC    a3\r\n");
    const std::string second = line("2026-01-01 10:00:00.000", "app   10   12", "REL    b1\r\n") +
                               line("2026-01-01 10:00:00.003", "app   10   12", "REL    b2\r\n");
    std::vector<std::string> order;
    for (const CopiedRecord& record : readAll({first, second}))
        order.push_back(record.text);
    EXPECT_EQ(order, (std::vector<std::string>{"a1", "b1", "b2", "a2", "a3"}));
    order.clear();
    for (const CopiedRecord& record : readAll({second, first}))
        order.push_back(record.text);
    EXPECT_EQ(order, (std::vector<std::string>{"b1", "a1", "b2", "a2", "a3"}));
}

TEST(LogMerge, BackupAndLogGivenTogetherReadAsTheWholeLog)
{
    const std::string whole = readFile(testing::dataPath("VRCDBG62.LOG"));
    const std::vector<CopiedRecord> expected = readAll({whole});
    for (const auto& names : {std::vector<std::string>{"rotated/VRCDBG62.BAK", "rotated/VRCDBG62.LOG"},
                              std::vector<std::string>{"rotated/VRCDBG62.LOG", "rotated/VRCDBG62.BAK"}}) {
        LogMerge merge;
        std::string error;
        ASSERT_TRUE(merge.open({testing::dataPath(names[0]), testing::dataPath(names[1])}, error)) << error;
        const std::vector<CopiedRecord> merged = readAll(merge);
        ASSERT_EQ(merged.size(), expected.size());
        // Held lines make a log's times go back now and then; records of the
        // same time and thread must still come in the writer's order.
        std::size_t same = 0;
        for (std::size_t i = 0; i < merged.size(); ++i)
            same += merged[i].raw == expected[i].raw;
        EXPECT_GT(same, merged.size() * 9 / 10) << names[0];
        EXPECT_EQ(merged.front().raw, expected.front().raw);
    }
}

TEST(LogMerge, ALogThatCannotBeOpenedIsNamed)
{
    LogMerge merge;
    std::string error;
    EXPECT_FALSE(merge.open({testing::dataPath("VRCDBG62.LOG"), testing::dataPath("missing.LOG")}, error));
    EXPECT_NE(error.find("cannot read '"), std::string::npos);
    EXPECT_NE(error.find("missing.LOG"), std::string::npos);
}

// However the reads split a growing log, its records come out once each and
// whole: a record once the next has begun (or the log was quiet for a look),
// a header without its line end not even once the file is finished.
TEST(LiveRecords, EachRecordOnceAndWholeHoweverTheReadsSplitTheLog)
{
    const std::string log = readFile(testing::dataPath("VRCDBG62.LOG")) + readFile(testing::dataPath("columns.LOG")) +
                            line("2026-01-01 10:00:00.000", "app   10   11", "REL    a line still being written");
    std::vector<std::string> expected;
    for (const CopiedRecord& record : readAll({log}, ReaderLimits{64, 1024}))
        expected.push_back(record.raw);
    for (const std::size_t readBytes : {std::size_t{1}, std::size_t{61}, std::size_t{4096}, log.size()}) {
        LiveRecords live(ReaderLimits{64, 1024});
        // The rest of a line begun before following started is dropped.
        live.skipToNextLine();
        live.append("line begun before\r\n");
        std::vector<std::string> records;
        const auto take = [&](const LogRecord& record) { records.emplace_back(record.raw); };
        for (std::size_t at = 0; at < log.size(); at += readBytes) {
            live.append(std::string_view(log).substr(at, readBytes));
            live.release(false, false, take);
        }
        live.release(true, false, take);
        EXPECT_EQ(records.size(), expected.size()) << readBytes;
        live.release(true, true, take);
        EXPECT_EQ(records, expected) << readBytes;
    }
}

// A log on a file system that keeps a file deleted while it is open until its
// last handle goes (Windows before 10 1809, file systems other than NTFS):
// until then nobody can open its path, so no writer can make the new log.
// Each look at the log runs the writer's next step, or tries it again.
class LogDeletedWhileHeld final : public LiveLog {
public:
    std::vector<std::function<bool()>> steps;
    bool append(const std::string& text)
    {
        if (!atPath_)
            atPath_ = std::make_shared<File>();
        return !atPath_->deleted && (atPath_->bytes += text, true);
    }
    bool remove() { return atPath_->deleted = true; }
    bool open() noexcept override
    {
        if (!atPath_ || atPath_->deleted)
            return false;  // no log yet, or the deleted one still held
        open_ = atPath_;
        at_ = 0;
        return true;
    }
    uint64_t size() noexcept override { return open_->bytes.size(); }
    uint64_t sizeAtPath() noexcept override { return atPath_ ? atPath_->bytes.size() : 0; }
    bool seek(uint64_t offset) noexcept override { return (at_ = offset) <= size(); }
    std::size_t read(char* destination, std::size_t capacity) noexcept override
    {
        const std::size_t n = std::string_view(open_->bytes).substr(at_).copy(destination, capacity);
        at_ += n;
        return n;
    }
    bool failed() const noexcept override { return false; }
    std::string error() const override { return "access denied"; }
    bool replaced(uint64_t) noexcept override { return atPath_ && !atPath_->deleted && atPath_ != open_; }
    bool deletePending() noexcept override { return open_->deleted; }
    void close() noexcept override
    {
        if (open_ == atPath_ && atPath_->deleted)
            atPath_.reset();  // the last handle: the file goes
        open_.reset();
    }
    bool wait() noexcept override
    {
        if (step_ < steps.size() && steps[step_]())
            ++step_;
        return ++looks_ < 20;
    }

private:
    struct File {
        std::string bytes;
        bool deleted = false;
    };
    std::shared_ptr<File> atPath_ = std::make_shared<File>(), open_;
    std::size_t at_ = 0, step_ = 0, looks_ = 0;
};

TEST(FollowLines, ALogDeletedWhileFollowedIsLetGoAndTheNewLogFollowed)
{
    std::vector<std::string> lines;
    for (const char* text : {"REL    first", "REL    last of the deleted log", "REL    new log", "REL    next"})
        lines.push_back(line("2026-01-01 10:00:00.000", "app   10   11", text) + "\r\n");
    LogDeletedWhileHeld log;
    log.steps = {[&] { return log.append(lines[0]); },
                 [&] { return log.append(lines[1]) && log.remove(); },  // before its last line is read
                 [&] { return log.append(lines[2]); },  // once nobody holds the deleted log
                 [&] { return log.append(lines[3]); }};
    StringSink out, errors;
    const std::unique_ptr<CodePage> codePage = builtInCodePage(1252);
    RecordPrinter printer{Options{}, *codePage};
    EXPECT_EQ(followLines(log, "VRCDRV62.LOG", LogFilter{}, printer, out, errors), kExitDone);
    EXPECT_EQ(out.text(), lines[0] + lines[1] + lines[2] + lines[3]);
    EXPECT_EQ(errors.text(), "");
}

}  // namespace
}  // namespace vr::vrclog
