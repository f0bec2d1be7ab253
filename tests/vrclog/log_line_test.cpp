// The line parser on lines the tracer wrote (the captured logs) and on the
// column layouts that are hard to read: ids from the right of a column with
// blanks and digits in the name, hexadecimal ids, columns over 20 characters
// running into a long source name.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "log_line.h"
#include "vrclog_test_support.h"

namespace vr::vrclog {
namespace {

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A header as the tracer formats it, with the given class column and text after it.
std::string traceLine(const char* processColumn, const char* source, int line, const char* rest)
{
    char header[512];
    std::snprintf(header, sizeof header, "%-7s %23s %-20s%25s%5d ", "VRCCLN", "2026-12-08 00:48:40.104", processColumn,
                  source, line);
    return std::string(header) + rest;
}

// The fields a case expects of a header line; the fields left out are not checked.
struct ExpectedHeader {
    std::optional<std::string_view> moduleTag{};
    std::optional<std::string_view> time{};
    std::optional<std::string_view> processName{};
    std::optional<uint32_t> processId{};
    std::optional<uint32_t> threadId{};
    std::optional<bool> hexadecimalIds{};
    std::optional<std::string_view> sourceFile{};
    std::optional<int32_t> sourceLine{};
    std::optional<LineClass> lineClass{};
    std::optional<int32_t> level{};
    std::optional<int32_t> count{};
    std::optional<std::string_view> text{};
};

struct HeaderCase {
    const char* name;
    std::string line;
    ExpectedHeader expected;
};

template <typename Field>
void expectIfGiven(const char* fieldName, const Field& actual, const std::optional<Field>& expected)
{
    if (expected) {
        EXPECT_EQ(actual, *expected) << fieldName;
    }
}

void expectHeaders(const std::vector<HeaderCase>& cases)
{
    for (const HeaderCase& headerCase : cases) {
        SCOPED_TRACE(headerCase.name);
        const ParsedLine parsed = parseLine(headerCase.line);
        ASSERT_EQ(parsed.shape, LineShape::Header) << headerCase.line;
        const LineHeader& header = parsed.header;
        const ExpectedHeader& expected = headerCase.expected;
        // Each field by its own name in a failure message.
#define EXPECT_FIELD_IF_GIVEN(field) expectIfGiven(#field, header.field, expected.field)
        EXPECT_FIELD_IF_GIVEN(moduleTag), EXPECT_FIELD_IF_GIVEN(time), EXPECT_FIELD_IF_GIVEN(processName),
            EXPECT_FIELD_IF_GIVEN(processId), EXPECT_FIELD_IF_GIVEN(threadId), EXPECT_FIELD_IF_GIVEN(hexadecimalIds),
            EXPECT_FIELD_IF_GIVEN(sourceFile), EXPECT_FIELD_IF_GIVEN(sourceLine), EXPECT_FIELD_IF_GIVEN(lineClass),
            EXPECT_FIELD_IF_GIVEN(level), EXPECT_FIELD_IF_GIVEN(count), EXPECT_FIELD_IF_GIVEN(text);
#undef EXPECT_FIELD_IF_GIVEN
    }
}

TEST(LogLine, ReadsEveryKindOfLineTheTracerWrote)
{
    expectHeaders({
        {"entry",
         "VRCCLN  2026-12-08 00:48:38.470 vrclog_corpus_writer  308  320        corpus_writer.cpp   61 1      "
         "PrintJob\r\n",
         {.moduleTag = "VRCCLN",
          .time = "2026-12-08 00:48:38.470",
          .processName = "vrclog_corpus_writer",
          .processId = 308u,
          .threadId = 320u,
          .hexadecimalIds = false,
          .sourceFile = "corpus_writer.cpp",
          .sourceLine = 61,
          .lineClass = LineClass::Entry,
          .level = 1,
          .count = 1,
          .text = "PrintJob"}},
        {"folded entry",
         "VRCCLN  2026-12-08 00:48:38.495 vrclog_corpus_writer  308  320        corpus_writer.cpp   28 3(3)   "
         "..CompressBand\r\n",
         {.lineClass = LineClass::Entry, .level = 3, .count = 3, .text = "CompressBand"}},
        {"held TRC",
         "VRCCLN  2026-12-08 00:48:38.492 vrclog_corpus_writer  308  320        corpus_writer.cpp   46 TRCx3  "
         ".band 1 ready\r\n",
         {.lineClass = LineClass::Trc, .level = 2, .count = 3, .text = "band 1 ready"}},
        {"source name against the ids",
         "VRCCLN  2026-12-08 00:48:38.495 vrclog_corpus_writer  308  320printer_queue_scheduler_core.cpp 1207 TRC    "
         ".page 1 of thread 2 done, 3 bands\r\n",
         {.processName = "vrclog_corpus_writer",
          .threadId = 320u,
          .sourceFile = "printer_queue_scheduler_core.cpp",
          .sourceLine = 1207,
          .count = 1,
          .text = "page 1 of thread 2 done, 3 bands"}},
        {"name with a blank and a digit",
         "VRCCLN  2026-12-08 00:48:38.802 corpus writer 2  332  336        corpus_writer.cpp   88 REL    "
         "configuration:\n",
         {.processName = "corpus writer 2", .processId = 332u, .lineClass = LineClass::Rel, .text = "configuration:"}},
        {"error report",
         "VRCCLN  2026-12-08 00:48:38.464 vrclog_corpus_writer  308  312        corpus_writer.cpp   92 DBG    "
         "DEBUG ERROR: printer \"Main Office\" not found\r\n",
         {.lineClass = LineClass::Error}},
    });
}

TEST(LogLine, EveryHeaderOfTheCapturedLogsParses)
{
    for (const char* name : {"VRCDBG62.LOG", "VRCDRV62.LOG"}) {
        const std::string log = readFile(testing::dataPath(name));
        ASSERT_FALSE(log.empty()) << name;
        int headers = 0;
        for (std::size_t start = 0; start < log.size();) {
            const std::size_t end = std::min(log.find('\n', start), log.size() - 1) + 1;
            const std::string_view line(log.data() + start, end - start);
            const ParsedLine parsed = parseLine(line);
            if (line.starts_with("VRCCLN")) {
                EXPECT_EQ(parsed.shape, LineShape::Header) << line;
                EXPECT_TRUE(parsed.header.processName == "vrclog_corpus_writer" ||
                            parsed.header.processName == "corpus writer 2")
                    << line;
                ++headers;
            } else {
                EXPECT_NE(parsed.shape, LineShape::Header) << line;
            }
            start = end;
        }
        EXPECT_GE(headers, 10) << name;
    }
}

TEST(LogLine, ProcessColumnsOfEveryShape)
{
    expectHeaders({
        {"hexadecimal ids",
         "VRCCLN  2026-12-08 00:48:40.101 vrclog_corpus_writer 0x00000134 0x00012A40"
         "printer_queue_scheduler_core.cpp 1207 TRC    page done\r\n",
         {.processName = "vrclog_corpus_writer",
          .processId = 0x134u,
          .threadId = 0x12A40u,
          .hexadecimalIds = true,
          .sourceFile = "printer_queue_scheduler_core.cpp"}},
        {"no name",
         "VRCCLN  2026-12-08 00:48:40.102  1234 5678                            vrc.cpp    7 REL    no name\r\n",
         {.processName = "", .processId = 1234u, .threadId = 5678u}},
        // Digits inside the name are not ids: the ids are the last two fields.
        {"digits in the name",
         "VRCCLN  2026-12-08 00:48:40.103 print 2 go   12   34                  vrc.cpp    8 REL    spaced name\r\n",
         {.processName = "print 2 go", .processId = 12u, .threadId = 34u}},
        {"every column at its widest",
         "VRCCLN  2026-12-08 00:48:40.104 abcdefghijklmnopq   12   34"
         "printer_queue_scheduler_core.cpp12345 DBG    long everything\r\n",
         {.time = "2026-12-08 00:48:40.104",
          .processName = "abcdefghijklmnopq",
          .processId = 12u,
          .threadId = 34u,
          .sourceFile = "printer_queue_scheduler_core.cpp",
          .sourceLine = 12345,
          .text = "long everything"}},
        {"ids wider than their padding",
         traceLine("x 123456 65535", "a.c", 1, "REL    t\r\n"),
         {.processId = 123456u, .threadId = 65535u}},
        // A name of its own that ends like a column: the first reading that the
        // rest of the header fits behind wins.
        {"name that ends like a column",
         traceLine("tool 1234 5678   10   20", "a.c", 9, "REL    t\r\n"),
         {.processName = "tool 1234 5678", .processId = 10u, .threadId = 20u, .sourceLine = 9}},
    });
}

TEST(LogLine, ClassColumnsAtTheirWidthLimits)
{
    expectHeaders({
        {"deepest folded entry",
         traceLine("svc   12   34", "svc.cpp", 2, "10(100).........Deep\r\n"),
         {.lineClass = LineClass::Entry, .level = 10, .count = 100, .text = "Deep"}},
        {"deepest repeated TRC",
         traceLine("svc   12   34", "svc.cpp", 3, "TRCx1000.........deep text\r\n"),
         {.lineClass = LineClass::Trc, .level = 10, .count = 1000, .text = "deep text"}},
        // Too few dots for the level: not an entry, a line without a class column.
        {"level without its dots",
         traceLine("svc   12   34", "svc.cpp", 3, "3      .x\r\n"),
         {.lineClass = LineClass::Plain, .text = "3      .x"}},
        {"empty class column",
         traceLine("svc   12   34", "svc.cpp", 3, "\r\n"),
         {.lineClass = LineClass::Plain, .text = ""}},
    });
}

TEST(LogLine, LinesWithoutAHeader)
{
    EXPECT_EQ(parseLine("\r\n").shape, LineShape::Blank);
    EXPECT_EQ(parseLine("\n").shape, LineShape::Blank);
    EXPECT_EQ(parseLine("DEBUG ERROR: Function level count below 0.\n").shape, LineShape::DebugError);
    EXPECT_EQ(parseLine("  queue=Main Office\n").shape, LineShape::Text);
    EXPECT_EQ(parseLine("VRCCLN  2026-12-08 00:48:40.108 svc   12\r\n").shape, LineShape::BrokenHeader);
    EXPECT_EQ(parseLine("VRCCLN  2026-12-08 00:48:4x.108 svc   12   34       a.c    1 REL    t\r\n").shape,
              LineShape::Text);
    EXPECT_EQ(parseLine(std::string_view("\0\xff\x80", 3)).shape, LineShape::Text);
}

}  // namespace
}  // namespace vr::vrclog
