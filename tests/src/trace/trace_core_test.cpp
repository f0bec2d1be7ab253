// Line building, entry folding, routing and line splitting, without Windows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "trace/core/gap_line.h"
#include "trace/core/line_split.h"
#include "trace/core/trace_context.h"

using namespace vr::trace;

namespace {

struct Written {
    std::string line;
    uint32_t mask;
};

struct Recorder {
    std::vector<Written> lines;
    Writer writer{[](DBG_CONTEXT&, const char* line, uint32_t mask, void* user) {
                      static_cast<Recorder*>(user)->lines.push_back({line, mask});
                  },
                  this};
};

constexpr const char* kStamp = "2026-12-07 20:41:05.123";

std::unique_ptr<DBG_CONTEXT> newContext(int level = 0)
{
    auto context = std::make_unique<DBG_CONTEXT>();
    std::memset(context.get(), 0, sizeof(DBG_CONTEXT));
    context->level = level;
    std::strcpy(context->processColumn, "app 1234   56");
    return context;
}

std::string header(const char* file = "trace.c", int line = 42)
{
    char text[256];
    std::snprintf(text, sizeof text, "%-7s %23s %-20s%25s%5d ", "VRCCLN", kStamp, "app 1234   56", file, line);
    return text;
}

bool build(DBG_CONTEXT& c, const char* text, uint32_t mask, Recorder& r, const char* file = "C:\\src\\trace.c")
{
    return buildLine(c, text, file, 42, mask, "VRCCLN", kStamp, r.writer);
}

}  // namespace

TEST(TraceBaseName, TakesTextAfterTheLastSeparatorOfEitherKind)
{
    EXPECT_STREQ(DBG_BaseName("C:\\src\\dir/name.c"), "name.c");
    EXPECT_STREQ(DBG_BaseName("C:\\src\\dir/"), "");
    EXPECT_STREQ(DBG_BaseName("name.c"), "name.c");
    const char* empty = "";
    EXPECT_EQ(DBG_BaseName(empty), empty);
}

TEST(TraceProcessColumn, DecimalUpTo65535AndHexAbove)
{
    char column[kTextSize];
    formatProcessColumn(column, sizeof column, "C:\\Program Files\\app.exe", 1234, 0xFFFF);
    EXPECT_STREQ(column, "app 1234 65535");
    formatProcessColumn(column, sizeof column, "C:\\Program Files\\app.exe", 1234, 0x10000);
    EXPECT_STREQ(column, "app 0x000004D2 0x00010000");
    formatProcessColumn(column, sizeof column, "C:\\x\\app.exe", 7, 8);
    EXPECT_STREQ(column, "app    7    8");
}

TEST(TraceProcessColumn, CutsAtADotInAFolderNameBeforeTakingTheBaseName)
{
    char column[64];
    formatProcessColumn(column, sizeof column, "C:\\tools.v2\\runner", 1, 2);
    EXPECT_STREQ(column, "tools    1    2");
    formatProcessColumn(column, sizeof column, ".hidden", 1, 2);
    EXPECT_STREQ(column, ".hidden    1    2");
    formatProcessColumn(column, 8, "C:\\x\\application.exe", 1, 2);  // cut, never overrun
    EXPECT_STREQ(column, "applica");
}

TEST(TraceTimestamp, IsTwentyThreeCharacters)
{
    char text[24];
    formatTimestamp(text, sizeof text, {2026, 3, 4, 5, 6, 7, 8});
    EXPECT_STREQ(text, "2026-03-04 05:06:07.008");
}

TEST(TraceTimestamp, MatchesTheTimeFormatForEveryWidth)
{
    // Values wider than their field keep all their digits, as the format does.
    const LocalTime times[] = {{0, 0, 0, 0, 0, 0, 0},
                               {9, 9, 9, 9, 9, 9, 9},
                               {65535, 12, 31, 23, 59, 59, 999},
                               {1601, 1, 1, 0, 0, 0, 1000},
                               {-5, -1, 100, 7, 8, 9, 12345}};
    for (const LocalTime& t : times) {
        char expected[128];
        std::snprintf(expected, sizeof expected, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.year, t.month, t.day, t.hour,
                      t.minute, t.second, t.milliseconds);
        char text[128];
        formatTimestamp(text, sizeof text, t);
        EXPECT_STREQ(text, expected);
    }
    char cut[10];
    formatTimestamp(cut, sizeof cut, {2026, 3, 4, 5, 6, 7, 8});
    EXPECT_STREQ(cut, "2026-03-0");
}

TEST(TraceBuildLine, HeaderAndClassColumnsFollowTheMask)
{
    auto c = newContext();
    Recorder r;
    ASSERT_TRUE(build(*c, "hello\r\n", kClassRel, r));
    EXPECT_EQ(std::string(c->line), header() + "REL    hello\r\n");
    ASSERT_TRUE(build(*c, "x", kClassDebugOds | kDestLog, r));
    EXPECT_EQ(std::string(c->line), header() + "DBG    x");
    ASSERT_TRUE(build(*c, "x", kClassRel | kClassTrc | kClassDebugLog, r));
    EXPECT_EQ(std::string(c->line), header() + "REL    x");  // REL comes first
    ASSERT_TRUE(build(*c, "x", 0, r));
    EXPECT_EQ(std::string(c->line), header() + "x");
    ASSERT_TRUE(build(*c, "x", kDestLog | 0x08000000u, r));
    EXPECT_EQ(std::string(c->line), header() + "x");
    EXPECT_TRUE(r.lines.empty());
    EXPECT_EQ(c->guard, 0u);
}

TEST(TraceBuildLine, RefusesMissingTextFileOrOverlongBaseNameAndNesting)
{
    auto c = newContext();
    Recorder r;
    EXPECT_FALSE(build(*c, nullptr, kClassRel, r));
    EXPECT_FALSE(buildLine(*c, "x", nullptr, 1, kClassRel, "VRCCLN", kStamp, r.writer));
    std::string longName(kMaxBaseName + 1, 'n');
    EXPECT_FALSE(build(*c, "x", kClassRel, r, longName.c_str()));
    longName.pop_back();
    EXPECT_TRUE(build(*c, "x", kClassRel, r, longName.c_str()));
    c->guard = kGuardBuildLine;
    EXPECT_FALSE(build(*c, "x", kClassRel, r));
    EXPECT_EQ(c->guard, kGuardBuildLine);
    c->guard = 0;
    longName.assign(40, 'w');
    ASSERT_TRUE(build(*c, "x", kClassRel, r, longName.c_str()));
    EXPECT_EQ(std::string(c->line), header(longName.c_str()) + "REL    x");  // wider than 25, not cut
}

TEST(TraceBuildLine, LongTextIsCutAtTheLineLimit)
{
    auto c = newContext();
    Recorder r;
    std::string text(kTextSize * 2, 'z');
    text += "\r\n";
    ASSERT_TRUE(build(*c, text.c_str(), kClassTrc, r));
    EXPECT_EQ(std::strlen(c->line), kMaxText);
    EXPECT_EQ(std::strlen(c->heldLine), kMaxText);
}

TEST(TraceBuildLine, RepeatedTrcTextsFoldIntoOneHeldLine)
{
    auto c = newContext(3);
    Recorder r;
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(build(*c, "same\r\n", kClassTrc | kDestLog | kDestOds, r));
    EXPECT_TRUE(r.lines.empty());
    EXPECT_EQ(c->heldTrcCount, 3);
    EXPECT_EQ(std::string(c->heldLine), header() + "TRCx3  ..same\r\n");

    ASSERT_TRUE(build(*c, "other\r\n", kClassTrc, r));
    ASSERT_EQ(r.lines.size(), 1u);
    EXPECT_EQ(r.lines[0].line, header() + "TRCx3  ..same\r\n");
    EXPECT_EQ(r.lines[0].mask & (kDestLog | kDestOds), kDestLog | kDestOds);
    EXPECT_EQ(std::string(c->heldLine), header() + "TRC    ..other\r\n");
    EXPECT_EQ(c->heldTrcCount, 1);

    // A text differing only in its line end is another text.
    ASSERT_TRUE(build(*c, "other", kClassTrc, r));
    EXPECT_EQ(r.lines.size(), 2u);

    // Messages of other classes neither write nor disturb the held line.
    ASSERT_TRUE(build(*c, "rel\r\n", kClassRel, r));
    EXPECT_EQ(r.lines.size(), 2u);
    EXPECT_EQ(c->heldTrcCount, 1);

    c->heldTrcCount = 1000;
    ASSERT_TRUE(build(*c, "other", kClassTrc, r));
    EXPECT_NE(std::string(c->line).find("TRCx1001..other"), std::string::npos);
}

TEST(TraceBuildLine, TrcAtLevelZeroOrOneHasNoDots)
{
    for (int level : {0, 1}) {
        auto c = newContext(level);
        Recorder r;
        ASSERT_TRUE(build(*c, "t", kClassTrc, r));
        EXPECT_EQ(std::string(c->heldLine), header() + "TRC    t");
    }
}

TEST(TraceEntries, NestedRepeatsFoldAndTheOutermostIsWrittenAtOnce)
{
    auto c = newContext();
    Recorder r;
    c->level = 1;
    ASSERT_TRUE(build(*c, "", 0, r));
    showEntry(*c, "A", r.writer);
    ASSERT_EQ(r.lines.size(), 2u);
    EXPECT_EQ(r.lines[0].line, "\r\n");
    EXPECT_EQ(r.lines[1].line, header() + "1      A\r\n");
    for (int call = 0; call < 3; ++call) {
        c->level = 2;
        ASSERT_TRUE(build(*c, "", 0, r));
        showEntry(*c, "B", r.writer);
    }
    EXPECT_EQ(r.lines.size(), 2u);
    EXPECT_EQ(std::string(c->heldLine), header() + "2(3)   .B\r\n");

    // A different function at the same level writes the held line first.
    ASSERT_TRUE(build(*c, "", 0, r));
    showEntry(*c, "C", r.writer);
    ASSERT_EQ(r.lines.size(), 3u);
    EXPECT_EQ(r.lines[2].line, header() + "2(3)   .B\r\n");
    EXPECT_EQ(std::string(c->heldLine), header() + "2      .C\r\n");

    // The same name one level deeper is a new entry, not a repeat.
    c->level = 3;
    ASSERT_TRUE(build(*c, "", 0, r));
    showEntry(*c, "C", r.writer);
    EXPECT_EQ(r.lines.size(), 4u);
    EXPECT_EQ(std::string(c->heldLine), header() + "3      ..C\r\n");
}

TEST(TraceEntries, TrcLineAndEntryLineReplaceEachOther)
{
    auto c = newContext(2);
    Recorder r;
    ASSERT_TRUE(build(*c, "", 0, r));
    showEntry(*c, "B", r.writer);
    ASSERT_TRUE(build(*c, "msg\r\n", kClassTrc, r));  // writes the held entry first
    ASSERT_EQ(r.lines.size(), 1u);
    EXPECT_EQ(r.lines[0].line, header() + "2      .B\r\n");
    EXPECT_EQ(c->heldEntryCount, 0);
    EXPECT_EQ(c->heldTrcCount, 1);
    ASSERT_TRUE(build(*c, "", 0, r));
    showEntry(*c, "B", r.writer);  // writes the held TRC line; B is not a repeat any more
    ASSERT_EQ(r.lines.size(), 2u);
    EXPECT_EQ(r.lines[1].line, header() + "TRC    .msg\r\n");
    EXPECT_EQ(c->heldTrcCount, 0);
    EXPECT_EQ(c->heldEntryCount, 1);
}

TEST(TraceEntries, NameIsShownUpTo256CharactersAndKeepsItsOwnLineEnd)
{
    auto c = newContext(1);
    Recorder r;
    const std::string name(300, 'f');
    ASSERT_TRUE(build(*c, "", 0, r));
    showEntry(*c, name.c_str(), r.writer);
    EXPECT_EQ(r.lines.back().line, header() + "1      " + std::string(256, 'f') + "\r\n");
    ASSERT_TRUE(build(*c, "", 0, r));
    showEntry(*c, "Named\n", r.writer);
    EXPECT_EQ(r.lines.back().line, header() + "1      Named\n");
}

TEST(TraceGapLine, SaysHowManyLinesAreMissingAndWhyInTheLogsFormat)
{
    const struct {
        unsigned long lost;
        LossCause cause;
        const char* text;
    } cases[] = {
        {1, LossCause::Held, "1 line could not be written to this log: another program held it open."},
        {37, LossCause::DiskFull, "37 lines could not be written to this log: the disk was full."},
        {2, LossCause::WriteFailed, "2 lines could not be written to this log: a write to it failed."},
        {3, LossCause::SecondName, "3 lines could not be written to this log: the log file had a second name."},
    };
    for (const auto& c : cases) {
        char line[512];
        const GapLine gap{
            "VRCCLN", "2026-12-08 11:03:38.173", "spoolsv 1234 5678", "C:\\src\\log_files.cpp", 42, c.lost, c.cause};
        const std::string expected = std::string("VRCCLN  2026-12-08 11:03:38.173 spoolsv 1234 5678") +
                                     std::string(15, ' ') + "log_files.cpp   42 REL    TRACE ERROR: " + c.text + "\r\n";
        EXPECT_EQ(formatGapLine(line, sizeof line, gap), expected.size());
        EXPECT_EQ(line, expected);
        EXPECT_EQ(formatGapLine(line, expected.size(), gap), 0u) << "no room for its end";
        // Read back as written, and only so.
        GapText read;
        const std::string message = std::string("TRACE ERROR: ") + c.text;
        ASSERT_TRUE(parseGapText(message, read)) << message;
        EXPECT_EQ(read.lost, c.lost);
        EXPECT_EQ(read.cause, c.cause);
        for (const std::string& other :
             {message + " ", message.substr(0, message.size() - 1), "TRACE ERROR: 0" + message.substr(13),
              message.substr(0, message.find(' ', 13) + 1) + (c.lost == 1 ? "lines" : "line") +
                  message.substr(message.find(" could"))})
            EXPECT_FALSE(parseGapText(other, read)) << other;
    }
}

TEST(TraceRoute, DestinationsInOrder)
{
    auto steps = [](uint32_t mask) {
        Route route = routeFor(mask);
        return std::vector<Destination>(route.steps, route.steps + route.count);
    };
    using D = Destination;
    EXPECT_EQ(steps(kClassRel), std::vector<D>{D::DriverLog});
    EXPECT_EQ(steps(kClassRel | kClassDebugError), std::vector<D>{D::DriverLog});
    EXPECT_EQ(steps(kClassDebugOds), std::vector<D>{D::DebuggerOutput});
    EXPECT_EQ(steps(kClassDebugOds | kDestLog), std::vector<D>{D::DebugLog});
    EXPECT_EQ(steps(kClassDebugOds | kClassDebugLog | kClassDebugError),
              (std::vector<D>{D::DebuggerOutput, D::DebugLog, D::ErrorReport}));
    EXPECT_EQ(steps(kClassTrc | kClassRel), (std::vector<D>{D::DriverLog, D::DebugLog, D::DebuggerOutput}));
    EXPECT_EQ(steps(kDestLog | kDestOds), (std::vector<D>{D::DebugLog, D::DebuggerOutput}));
    EXPECT_TRUE(steps(0).empty());
    EXPECT_TRUE(steps(0x000FFFFFu | 0xF0000000u | 0x08000000u).empty());
}

namespace {

// Reads a whole in-memory file with the line splitter as FIO_ReadLine does.
std::vector<std::string> readLines(const std::string& file, std::size_t bufferSize)
{
    std::vector<std::string> lines;
    std::size_t position = 0;
    std::vector<char> buffer(bufferSize);
    for (int guard = 0; guard < 1000; ++guard) {
        const std::size_t n = std::min(bufferSize - 1, file.size() - position);
        std::memcpy(buffer.data(), file.data() + position, n);
        position += n;
        const vr::trace::fio::LineSplit split = vr::trace::fio::splitLine(buffer.data(), n);
        if (!split.hasLine) {
            EXPECT_EQ(buffer[0], '\0');
            break;
        }
        position -= split.rewind;
        lines.emplace_back(buffer.data());
    }
    return lines;
}

using Lines = std::vector<std::string>;

}  // namespace

TEST(FioLineSplit, EveryKindOfLineEnd)
{
    EXPECT_EQ(readLines("a\r\nb", 16), (Lines{"a", "b"}));
    EXPECT_EQ(readLines("a\n\rb\nc\rd", 16), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(readLines("one\ntwo\n", 16), (Lines{"one", "two"}));
    EXPECT_EQ(readLines("one\rtwo\r", 16), (Lines{"one", "two"}));
    EXPECT_EQ(readLines("", 16), Lines{});
}

TEST(FioLineSplit, EmptyLines)
{
    // Only LFs in the block: each empty line is kept.
    EXPECT_EQ(readLines("a\n\nb", 16), (Lines{"a", "", "b"}));
    // An LF and a CR in the block: the empty line right after a line end goes with it.
    EXPECT_EQ(readLines("a\n\nb\r", 16), (Lines{"a", "b"}));
}

TEST(FioLineSplit, EndOfTextMark)
{
    EXPECT_EQ(readLines("\x1A"
                        "abc",
                        16),
              Lines{});
    EXPECT_EQ(readLines("abc\x1A"
                        "def\n",
                        16),
              Lines{"abc"});
    EXPECT_EQ(readLines("abc\n\x1A"
                        "def\n",
                        16),
              Lines{"abc"});
}

TEST(FioLineSplit, LongLinesComeInPiecesAndNulDoesNotHideTheLineEnd)
{
    EXPECT_EQ(readLines("abcdefgh\nxy", 4), (Lines{"abc", "def", "gh", "xy"}));
    EXPECT_EQ(readLines(std::string("ab\0cd\nef", 8), 16), (Lines{"ab", "ef"}));
    EXPECT_EQ(readLines("abc", 1), Lines{});
}
