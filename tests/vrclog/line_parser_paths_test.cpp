// parseLine finds the end of the process column by the layout the tracer
// writes (padding to 20, ids ending in a digit or A to F, room for the source
// column behind); parseLineByEveryColumnEnd tries every end from the left.
// Both must read every line alike: the captured logs, and lines made from
// every column shape with bytes changed, dropped and added.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "line_parser_reference.h"
#include "log_line.h"
#include "vrclog_test_support.h"

namespace vr::vrclog {
namespace {

bool sameView(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && (a.empty() || a.data() == b.data());
}

// Views are compared by place, not only by text: a field read from another
// column end may hold the same characters.
::testing::AssertionResult readAlike(std::string_view line)
{
    const ParsedLine fast = parseLine(line);
    const ParsedLine slow = testing::parseLineByEveryColumnEnd(line);
    if (fast.shape != slow.shape)
        return ::testing::AssertionFailure() << "shapes differ: " << line;
    if (fast.shape != LineShape::Header)
        return ::testing::AssertionSuccess();
    const LineHeader& a = fast.header;
    const LineHeader& b = slow.header;
    const bool same =
        sameView(a.moduleTag, b.moduleTag) && sameView(a.time, b.time) && sameView(a.processName, b.processName) &&
        a.processId == b.processId && a.threadId == b.threadId && a.hexadecimalIds == b.hexadecimalIds &&
        sameView(a.sourceFile, b.sourceFile) && a.sourceLine == b.sourceLine && a.lineClass == b.lineClass &&
        a.level == b.level && a.count == b.count && sameView(a.text, b.text);
    if (!same)
        return ::testing::AssertionFailure() << "headers differ: " << line;
    return ::testing::AssertionSuccess();
}

class LineMaker {
public:
    explicit LineMaker(unsigned seed) : random_(seed) {}

    std::string header()
    {
        static const char* const kTags[] = {"VRCCLN", "VRCDRV", "A", "ABCDEFG", "LONGERTAG"};
        static const char* const kNames[] = {
            "",        "a",       "spoolsv",           "VRCPRINT",       "printer queue 2",
            "x 12 34", "name  9", "abcdefghijklmnopq", "tool 1234 5678", "very_long_executable_name_here"};
        static const char* const kSources[] = {"a.c",
                                               "x.cpp",
                                               "printer_queue_scheduler_core.cpp",
                                               "src 1.cpp",
                                               "12.c",
                                               "yyyyyyyyyyyyyyyyyyyyyyyy",
                                               "zzzzzzzzzzzzzzzzzzzzzzzzz",
                                               "zzzzzzzzzzzzzzzzzzzzzzzzzz"};
        static const char* const kClasses[] = {"REL    ",  "DBG    ", "TRC    ", "TRCx2  ", "TRCx123",
                                               "TRCx1234", "1      ", "3(2)   ", "12     ", "100    ",
                                               "101    ",  "10(100)", "0      ", "",        "TRC",
                                               "TRCx",     "5(0)   ", "1(",      "DBG  "};
        static const char* const kTexts[] = {"PrintJob", "..Render",  "band 1 ready", "DEBUG ERROR: x",
                                             "",         " 12   34 ", ".....deep"};
        char column[96];
        const std::string name = pick(kNames);
        if (random_() % 3 == 0)
            std::snprintf(column, sizeof column, "%s 0x%08X 0x%08X", name.c_str(), static_cast<unsigned>(random_()),
                          static_cast<unsigned>(random_()));
        else
            std::snprintf(column, sizeof column, "%s %4u %4u", name.c_str(), number(), number());
        static const int kLines[] = {0, 7, 77, 1207, 12345, 123456, 99999999, 1234567890};
        char line[512];
        std::snprintf(line, sizeof line, "%-7s 2026-12-%02u %02u:%02u:%02u.%03u %-20s%25s%5d %s%s", pick(kTags),
                      1 + static_cast<unsigned>(random_() % 28), static_cast<unsigned>(random_() % 24),
                      static_cast<unsigned>(random_() % 60), static_cast<unsigned>(random_() % 60),
                      static_cast<unsigned>(random_() % 1000), column, pick(kSources), kLines[random_() % 8],
                      pick(kClasses), pick(kTexts));
        return line;
    }

    std::string damaged(std::string line)
    {
        static const char kBytes[] = " 0123456789xXAF.(\t";
        for (unsigned n = 1 + random_() % 3; n > 0; --n) {
            const std::size_t at = random_() % (line.size() + 1);
            const unsigned kind = random_() % 3;
            if (kind == 0 && at < line.size())
                line[at] = kBytes[random_() % (sizeof kBytes - 1)];
            else if (kind == 1 && at < line.size())
                line.erase(at, 1);
            else
                line.insert(at, 1, kBytes[random_() % 5]);
        }
        return line;
    }

private:
    template <std::size_t N>
    const char* pick(const char* const (&list)[N])
    {
        return list[random_() % N];
    }
    // Mostly ids of up to four digits; now and then wider ones.
    unsigned number() { return static_cast<unsigned>(random_() % (random_() % 10 == 0 ? 1000000000u : 10000u)); }

    std::mt19937 random_;
};

TEST(LineParserPaths, TheCapturedLogsReadAlike)
{
    for (const char* name :
         {"VRCDBG62.LOG", "VRCDRV62.LOG", "columns.LOG", "rotated/VRCDBG62.BAK", "rotated/VRCDBG62.LOG"}) {
        std::ifstream in(testing::dataPath(name), std::ios::binary);
        const std::string log{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        ASSERT_FALSE(log.empty()) << name;
        for (std::size_t start = 0; start < log.size();) {
            const std::size_t end = std::min(log.find('\n', start), log.size() - 1) + 1;
            EXPECT_TRUE(readAlike(std::string_view(log).substr(start, end - start)));
            start = end;
        }
    }
}

TEST(LineParserPaths, MadeAndDamagedLinesReadAlike)
{
    LineMaker maker(2088);
    int headers = 0;
    for (int i = 0; i < 40000; ++i) {
        const std::string whole = maker.header() + "\r\n";
        ASSERT_TRUE(readAlike(whole));
        headers += parseLine(whole).shape == LineShape::Header;
        const std::string damaged = maker.damaged(whole);
        ASSERT_TRUE(readAlike(damaged));
        // Cut anywhere: the search must stop inside the line.
        ASSERT_TRUE(readAlike(std::string_view(damaged).substr(0, i % (damaged.size() + 1))));
    }
    // The made lines are mostly headers, so the comparison covers the fields.
    EXPECT_GT(headers, 20000);
}

TEST(LineParserPaths, ColumnsAtTheBordersOfTheFastReading)
{
    // Exactly 20 characters, one over, a long column whose end looks like
    // ids, and ids behind a name that ends in digits and hexadecimal letters.
    for (const char* column : {"abcdefghij  123  456", "abcdefghijk  123  456", "tool 1234 5678   10   20",
                               "AB 0x0000000A 0x0000000F", "name 0xABCDEF12 0x00000001", "n   99 123456789"}) {
        for (const char* source : {"a.c", "abcdefghijklmnopqrstuvwxy", "1234567890123456789012345678"}) {
            char line[256];
            std::snprintf(line, sizeof line, "%-7s %23s %-20s%25s%5d REL    t\r\n", "VRCCLN", "2026-12-08 00:48:40.104",
                          column, source, 42);
            EXPECT_TRUE(readAlike(line));
            // A source name that starts with digits runs into the ids.
            if (source[0] != '1') {
                EXPECT_EQ(parseLine(line).shape, LineShape::Header) << line;
            }
        }
    }
}

}  // namespace
}  // namespace vr::vrclog
