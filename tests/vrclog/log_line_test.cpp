// The line parser on lines the tracer wrote (the captured logs) and on the
// column layouts that are hard to read: ids from the right of a column with
// blanks and digits in the name, hexadecimal ids, columns over 20 characters
// running into a long source name.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

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

LineHeader headerOf(std::string_view line)
{
    const ParsedLine parsed = parseLine(line);
    EXPECT_EQ(parsed.shape, LineShape::Header) << line;
    return parsed.header;
}

TEST(LogLine, ReadsEveryKindOfLineTheTracerWrote)
{
    const LineHeader entry = headerOf(
        "VRCCLN  2026-12-08 00:48:38.470 vrclog_corpus_writer  308  320        corpus_writer.cpp   61 1      PrintJob\r\n");
    EXPECT_EQ(entry.moduleTag, "VRCCLN");
    EXPECT_EQ(entry.time, "2026-12-08 00:48:38.470");
    EXPECT_EQ(entry.processName, "vrclog_corpus_writer");
    EXPECT_EQ(entry.processId, 308u);
    EXPECT_EQ(entry.threadId, 320u);
    EXPECT_FALSE(entry.hexadecimalIds);
    EXPECT_EQ(entry.sourceFile, "corpus_writer.cpp");
    EXPECT_EQ(entry.sourceLine, 61);
    EXPECT_EQ(entry.lineClass, LineClass::Entry);
    EXPECT_EQ(entry.level, 1);
    EXPECT_EQ(entry.count, 1);
    EXPECT_EQ(entry.text, "PrintJob");

    const LineHeader folded = headerOf(
        "VRCCLN  2026-12-08 00:48:38.495 vrclog_corpus_writer  308  320        corpus_writer.cpp   28 3(3)   ..CompressBand\r\n");
    EXPECT_EQ(folded.lineClass, LineClass::Entry);
    EXPECT_EQ(folded.level, 3);
    EXPECT_EQ(folded.count, 3);
    EXPECT_EQ(folded.text, "CompressBand");

    const LineHeader held = headerOf(
        "VRCCLN  2026-12-08 00:48:38.492 vrclog_corpus_writer  308  320        corpus_writer.cpp   46 TRCx3  .band 1 ready\r\n");
    EXPECT_EQ(held.lineClass, LineClass::Trc);
    EXPECT_EQ(held.level, 2);
    EXPECT_EQ(held.count, 3);
    EXPECT_EQ(held.text, "band 1 ready");

    const LineHeader adjacent = headerOf(
        "VRCCLN  2026-12-08 00:48:38.495 vrclog_corpus_writer  308  320printer_queue_scheduler_core.cpp 1207 TRC    "
        ".page 1 of thread 2 done, 3 bands\r\n");
    EXPECT_EQ(adjacent.processName, "vrclog_corpus_writer");
    EXPECT_EQ(adjacent.threadId, 320u);
    EXPECT_EQ(adjacent.sourceFile, "printer_queue_scheduler_core.cpp");
    EXPECT_EQ(adjacent.sourceLine, 1207);
    EXPECT_EQ(adjacent.count, 1);
    EXPECT_EQ(adjacent.text, "page 1 of thread 2 done, 3 bands");

    const LineHeader spaced = headerOf(
        "VRCCLN  2026-12-08 00:48:38.802 corpus writer 2  332  336        corpus_writer.cpp   88 REL    configuration:\n");
    EXPECT_EQ(spaced.processName, "corpus writer 2");
    EXPECT_EQ(spaced.processId, 332u);
    EXPECT_EQ(spaced.lineClass, LineClass::Rel);
    EXPECT_EQ(spaced.text, "configuration:");

    const LineHeader error = headerOf(
        "VRCCLN  2026-12-08 00:48:38.464 vrclog_corpus_writer  308  312        corpus_writer.cpp   92 DBG    "
        "DEBUG ERROR: printer \"Main Office\" not found\r\n");
    EXPECT_EQ(error.lineClass, LineClass::Error);
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
                            parsed.header.processName == "corpus writer 2") << line;
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
    const LineHeader hex = headerOf("VRCCLN  2026-12-08 00:48:40.101 vrclog_corpus_writer 0x00000134 0x00012A40"
                                    "printer_queue_scheduler_core.cpp 1207 TRC    page done\r\n");
    EXPECT_TRUE(hex.hexadecimalIds);
    EXPECT_EQ(hex.processName, "vrclog_corpus_writer");
    EXPECT_EQ(hex.processId, 0x134u);
    EXPECT_EQ(hex.threadId, 0x12A40u);
    EXPECT_EQ(hex.sourceFile, "printer_queue_scheduler_core.cpp");

    const LineHeader noName = headerOf(
        "VRCCLN  2026-12-08 00:48:40.102  1234 5678                            vrc.cpp    7 REL    no name\r\n");
    EXPECT_EQ(noName.processName, "");
    EXPECT_EQ(noName.processId, 1234u);
    EXPECT_EQ(noName.threadId, 5678u);

    // Digits inside the name are not ids: the ids are the last two fields.
    const LineHeader digits = headerOf(
        "VRCCLN  2026-12-08 00:48:40.103 print 2 go   12   34                  vrc.cpp    8 REL    spaced name\r\n");
    EXPECT_EQ(digits.processName, "print 2 go");
    EXPECT_EQ(digits.processId, 12u);
    EXPECT_EQ(digits.threadId, 34u);

    const LineHeader crowded = headerOf("VRCCLN  2026-12-08 00:48:40.104 abcdefghijklmnopq   12   34"
                                        "printer_queue_scheduler_core.cpp12345 DBG    long everything\r\n");
    EXPECT_EQ(crowded.processName, "abcdefghijklmnopq");
    EXPECT_EQ(crowded.threadId, 34u);
    EXPECT_EQ(crowded.sourceFile, "printer_queue_scheduler_core.cpp");
    EXPECT_EQ(crowded.sourceLine, 12345);
    EXPECT_EQ(crowded.text, "long everything");

    const std::string wideIdsLine = traceLine("x 123456 65535", "a.c", 1, "REL    t\r\n");
    const LineHeader wideIds = headerOf(wideIdsLine);
    EXPECT_EQ(wideIds.processId, 123456u);
    EXPECT_EQ(wideIds.threadId, 65535u);

    // A name of its own that ends like a column: the first reading that the
    // rest of the header fits behind wins.
    const std::string lookalikeLine = traceLine("tool 1234 5678   10   20", "a.c", 9, "REL    t\r\n");
    const LineHeader lookalike = headerOf(lookalikeLine);
    EXPECT_EQ(lookalike.processName, "tool 1234 5678");
    EXPECT_EQ(lookalike.processId, 10u);
    EXPECT_EQ(lookalike.threadId, 20u);
    EXPECT_EQ(lookalike.sourceLine, 9);
}

TEST(LogLine, ClassColumnsAtTheirWidthLimits)
{
    const LineHeader deep = headerOf(
        "VRCCLN  2026-12-08 00:48:40.106 svc   12   34                         svc.cpp    2 10(100).........Deep\r\n");
    EXPECT_EQ(deep.lineClass, LineClass::Entry);
    EXPECT_EQ(deep.level, 10);
    EXPECT_EQ(deep.count, 100);
    EXPECT_EQ(deep.text, "Deep");

    const LineHeader repeated = headerOf(
        "VRCCLN  2026-12-08 00:48:40.107 svc   12   34                         svc.cpp    3 TRCx1000.........deep text\r\n");
    EXPECT_EQ(repeated.lineClass, LineClass::Trc);
    EXPECT_EQ(repeated.count, 1000);
    EXPECT_EQ(repeated.level, 10);
    EXPECT_EQ(repeated.text, "deep text");

    // Too few dots for the level: not an entry, a line without a class column.
    const LineHeader plain = headerOf(
        "VRCCLN  2026-12-08 00:48:40.107 svc   12   34                         svc.cpp    3 3      .x\r\n");
    EXPECT_EQ(plain.lineClass, LineClass::Plain);
    EXPECT_EQ(plain.text, "3      .x");

    const LineHeader empty = headerOf(
        "VRCCLN  2026-12-08 00:48:40.107 svc   12   34                         svc.cpp    3 \r\n");
    EXPECT_EQ(empty.lineClass, LineClass::Plain);
    EXPECT_EQ(empty.text, "");
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
