// The four commands on the captured logs: what each filter lets through, the
// tree's shape, the summary's counts (a folded entry counts its calls), and a
// perfetto file and JSON Lines read back with a JSON reader of the test's own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "command_line.h"
#include "command_lines.h"
#include "json_text.h"
#include "vrclog_test_support.h"

namespace vr::vrclog {
namespace {

using testing::dataPath;

struct ToolRun {
    int exitCode;
    std::string out;
    std::string errors;
};

ToolRun vrclog(std::vector<std::string> arguments)
{
    for (std::string& argument : arguments)
        if (argument.starts_with("@"))
            argument = dataPath(argument.substr(1));
    const ParsedCommandLine parsed = parseCommandLine(arguments);
    if (!parsed.error.empty())
        return {kExitBadCommandLine, "", parsed.error};
    StringSink out;
    StringSink errors;
    const int exitCode = runCommand(parsed.options, out, errors);
    return {exitCode, out.text(), errors.text()};
}

int countOf(const std::string& text, const std::string& piece)
{
    int n = 0;
    for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
        ++n;
    return n;
}

// A strict JSON reader just large enough for the perfetto file and JSON Lines:
// strings must be UTF-8 with their controls escaped.
struct Json {
    enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
    double number = 0;
    std::string text;
    std::vector<Json> items;
    std::map<std::string, Json> fields;
    const Json& operator[](const std::string& key) const
    {
        static const Json none;
        const auto found = fields.find(key);
        return found == fields.end() ? none : found->second;
    }
};

class JsonReader {
public:
    explicit JsonReader(std::string_view text) : text_(text) {}
    bool read(Json& value)
    {
        const bool ok = readValue(value);
        skipBlanks();
        return ok && at_ == text_.size();
    }

private:
    void skipBlanks()
    {
        while (at_ < text_.size() &&
               (text_[at_] == ' ' || text_[at_] == '\n' || text_[at_] == '\r' || text_[at_] == '\t'))
            ++at_;
    }
    bool take(char c)
    {
        skipBlanks();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    bool readString(std::string& out)
    {
        if (!take('"'))
            return false;
        while (at_ < text_.size() && text_[at_] != '"') {
            const auto c = static_cast<unsigned char>(text_[at_]);
            if (c < 0x20)
                return false;  // control characters must be escaped
            if (c != '\\') {
                const std::size_t length = utf8SequenceLength(text_, at_);
                if (length == 0)
                    return false;  // not UTF-8
                out.append(text_.substr(at_, length));
                at_ += length;
                continue;
            }
            ++at_;
            if (at_ >= text_.size())
                return false;
            const char e = text_[at_++];
            if (e == 'u') {
                if (at_ + 4 > text_.size())
                    return false;
                const unsigned long code = std::strtoul(std::string(text_.substr(at_, 4)).c_str(), nullptr, 16);
                at_ += 4;
                // Only what the writer makes: controls, never a surrogate.
                if (code >= 0x20)
                    return false;
                out += static_cast<char>(code);
            } else if (e == 'n') {
                out += '\n';
            } else if (e == 'r') {
                out += '\r';
            } else if (e == 't') {
                out += '\t';
            } else if (e == '"' || e == '\\' || e == '/') {
                out += e;
            } else {
                return false;
            }
        }
        return take('"');
    }
    // The comma-separated items of an object or array, from its opening
    // bracket (the current character) to its `close`.
    template <typename ReadItem>
    bool readItemsUpTo(char close, ReadItem readItem)
    {
        ++at_;
        if (take(close))
            return true;
        do {
            if (!readItem())
                return false;
        } while (take(','));
        return take(close);
    }
    bool readValue(Json& value)
    {
        skipBlanks();
        if (at_ >= text_.size())
            return false;
        const char c = text_[at_];
        if (c == '{') {
            value.kind = Json::Kind::Object;
            return readItemsUpTo('}', [&] {
                std::string key;
                Json field;
                if (!readString(key) || !take(':') || !readValue(field))
                    return false;
                value.fields[key] = std::move(field);
                return true;
            });
        }
        if (c == '[') {
            value.kind = Json::Kind::Array;
            return readItemsUpTo(']', [&] { return readValue(value.items.emplace_back()); });
        }
        if (c == '"') {
            value.kind = Json::Kind::String;
            return readString(value.text);
        }
        if (text_.substr(at_, 4) == "null") {
            at_ += 4;
            return true;
        }
        value.kind = Json::Kind::Number;
        char* end = nullptr;
        const std::string rest(text_.substr(at_, 32));
        value.number = std::strtod(rest.c_str(), &end);
        if (end == rest.c_str())
            return false;
        at_ += static_cast<std::size_t>(end - rest.c_str());
        return true;
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(CommandLines, EachFilterAndTheirCombination)
{
    const ToolRun all = vrclog({"lines", "@VRCDBG62.LOG", "@VRCDRV62.LOG"});
    ASSERT_EQ(all.exitCode, kExitDone) << all.errors;
    EXPECT_EQ(countOf(all.out, "VRCCLN  "), 288 + 10);  // every header line of both logs

    const ToolRun rel = vrclog({"lines", "--class", "REL", "@VRCDBG62.LOG", "@VRCDRV62.LOG"});
    EXPECT_EQ(countOf(rel.out, "VRCCLN  "), 10);
    // The later lines of a multi-line text come with their header line.
    EXPECT_EQ(countOf(rel.out, "  queue=Main Office\n"), 2);

    const ToolRun errors = vrclog({"lines", "--class", "ERROR", "@VRCDBG62.LOG"});
    EXPECT_EQ(countOf(errors.out, "DEBUG ERROR"), 6);
    EXPECT_EQ(countOf(errors.out, "Recursive Infinite Loop?\n"), 2);

    const ToolRun thread = vrclog({"lines", "--process", "CORPUS WRITER 2", "--tid", "340", "--class", "ENTRY",
                                   "--class", "TRC", "@VRCDBG62.LOG"});
    EXPECT_EQ(countOf(thread.out, "VRCCLN  "), 18);
    EXPECT_EQ(countOf(thread.out, "corpus writer 2  332  340"), 18);

    const ToolRun window = vrclog({"lines", "--from", "2026-12-08 00:48:38.500", "--to", "2026-12-08 00:48:38.510",
                                   "--pid", "0x134", "@VRCDBG62.LOG"});
    EXPECT_EQ(countOf(window.out, "VRCCLN  "), 5);
    EXPECT_EQ(countOf(window.out, " 00:48:38.50"), 5);
    // Both bounds take in a record at their very time (.503: 1 record of
    // pid 308, .504: 1, .506: 2, .508: 1).
    struct Bounds {
        const char* from;
        const char* to;
        int records;
    };
    for (const Bounds& bounds : {Bounds{"2026-12-08 00:48:38.504", "2026-12-08 00:48:38.506", 3},
                                 Bounds{"2026-12-08 00:48:38.506", "2026-12-08 00:48:38.506", 2},
                                 Bounds{"2026-12-08 00:48:38.503", "2026-12-08 00:48:38.503", 1}}) {
        const ToolRun at = vrclog({"lines", "--from", bounds.from, "--to", bounds.to, "--pid", "308", "@VRCDBG62.LOG"});
        EXPECT_EQ(countOf(at.out, "VRCCLN  "), bounds.records) << bounds.from << " to " << bounds.to;
    }

    const ToolRun text = vrclog({"lines", "--grep", "band 2 ready", "@VRCDBG62.LOG"});
    EXPECT_EQ(countOf(text.out, "TRCx3  .band 2 ready\r\n"), 8);

    EXPECT_EQ(vrclog({"lines", "--pid", "999", "@VRCDBG62.LOG"}).exitCode, kExitNothingMatched);
}

TEST(CommandLines, BadCommandLinesAndUnreadableLogs)
{
    EXPECT_EQ(vrclog({}).exitCode, kExitBadCommandLine);
    EXPECT_EQ(vrclog({"grep", "@VRCDBG62.LOG"}).exitCode, kExitBadCommandLine);
    EXPECT_EQ(vrclog({"lines"}).exitCode, kExitBadCommandLine);
    EXPECT_EQ(vrclog({"lines", "--class", "WARN", "@VRCDBG62.LOG"}).exitCode, kExitBadCommandLine);
    EXPECT_EQ(vrclog({"lines", "--from", "2026-12-08", "@VRCDBG62.LOG"}).exitCode, kExitBadCommandLine);
    EXPECT_EQ(vrclog({"lines", "--pid", "12x", "@VRCDBG62.LOG"}).exitCode, kExitBadCommandLine);
    EXPECT_EQ(vrclog({"lines", "--tid"}).exitCode, kExitBadCommandLine);
    EXPECT_EQ(vrclog({"lines", "-o", "x.json", "@VRCDBG62.LOG"}).exitCode, kExitBadCommandLine);
    EXPECT_EQ(vrclog({"perfetto", "@VRCDBG62.LOG"}).exitCode, kExitBadCommandLine);
    EXPECT_EQ(vrclog({"tree", "--follow", "@VRCDBG62.LOG"}).exitCode, kExitBadCommandLine);
    EXPECT_EQ(vrclog({"lines", "-f", "@VRCDBG62.LOG", "@VRCDRV62.LOG"}).exitCode, kExitBadCommandLine);
    EXPECT_EQ(vrclog({"summary", "--json", "@VRCDBG62.LOG"}).exitCode, kExitBadCommandLine);
    for (const char* offset : {"01:00", "+1:00", "+15:00", "+01:60", "+01-00"})
        EXPECT_EQ(vrclog({"lines", "--utc-offset", offset, "@VRCDBG62.LOG"}).exitCode, kExitBadCommandLine) << offset;
    EXPECT_EQ(vrclog({"lines", "--code-page", "1", "@VRCDBG62.LOG"}).exitCode, kExitBadCommandLine);

    const ToolRun missing = vrclog({"summary", "@VRCDBG62.LOG", "@nothing.LOG"});
    EXPECT_EQ(missing.exitCode, kExitCannotRead);
    EXPECT_NE(missing.errors.find("vrclog: cannot read '"), std::string::npos);
    EXPECT_TRUE(missing.out.empty());

    const ToolRun help = vrclog({"--help"});
    EXPECT_EQ(help.exitCode, kExitDone);
    for (const char* command : {"vrclog lines", "vrclog lines --follow", "vrclog lines --json", "vrclog tree",
                                "vrclog summary", "vrclog perfetto", "Exit codes"})
        EXPECT_NE(help.out.find(command), std::string::npos) << command;

    const ToolRun damaged = vrclog({"lines", "@columns.LOG"});
    EXPECT_EQ(damaged.exitCode, kExitDone);
    EXPECT_NE(damaged.errors.find("2 line(s) could not be read"), std::string::npos) << damaged.errors;
}

TEST(CommandLinesJson, EveryMemberOfEachKindOfRecordAndAnyBytes)
{
    const std::string header =
        "VRCCLN  2026-12-08 00:48:38.473 vrclog_corpus_writer  308  320        corpus_writer.cpp   62 ";
    const auto line = [](std::string members) {
        return R"({"time":"2026-12-08T00:48:38.473-05:30","module":"VRCCLN","process":"vrclog_corpus_writer","pid":308,)"
               R"("tid":320,"file":"corpus_writer.cpp","line":62,)" +
               members + "}\n";
    };
    const std::string none = R"("module":null,"process":null,"pid":null,"tid":null,"file":null,"line":null,)";
    struct Case {
        std::string log;
        std::string json;
    };
    const Case cases[] = {
        {header + "REL    job 0 started\r\n", line(R"("class":"REL","text":"job 0 started","log":"VRCDRV62.LOG")")},
        {header + "REL    configuration:\n  queue=Main Office\r\n  copies=2\r\n",
         line(R"("class":"REL","text":"configuration:\n  queue=Main Office\n  copies=2","log":"VRCDRV62.LOG")")},
        {header + "TRCx3  .band 1 ready\r\n",
         line(R"("class":"TRC","text":"band 1 ready","log":"VRCDRV62.LOG","count":3)")},
        {header + "3(3)   ..CompressBand\r\n",
         line(R"("class":"ENTRY","text":"CompressBand","log":"VRCDRV62.LOG","count":3)")},
        // Code page 1252 throughout: a pair of bytes that looks like UTF-8 is two characters.
        {header + "DBG    say \"hi\" to C:\\dir\\x\x01\x1f\t caf\xe9 \xc3\xa9\xff\r\n",
         line(R"("class":"DBG","text":"say \"hi\" to C:\\dir\\x\u0001\u001f\t café Ã©ÿ","log":"VRCDRV62.LOG")")},
        // Without a header: a line before any record has no time either; a report has the time before it.
        {"before any record\r\n" + header + "REL    x\r\nDEBUG ERROR: Function level count below 0.\r\n",
         R"({"time":null,)" + none +
             R"("class":"TEXT","text":"before any record","log":"VRCDRV62.LOG"})"
             "\n" +
             line(R"("class":"REL","text":"x","log":"VRCDRV62.LOG")") + R"({"time":"2026-12-08T00:48:38.473-05:30",)" +
             none +
             R"("class":"ERROR","text":"DEBUG ERROR: Function level count below 0.","log":"VRCDRV62.LOG"})"
             "\n"},
    };
    Options options;
    options.json = true;
    options.logs = {"C:\\logs\\VRCDRV62.LOG"};
    options.utcOffsetMinutes = -(5 * 60 + 30);
    const std::unique_ptr<CodePage> codePage = builtInCodePage(1252);
    for (const Case& c : cases) {
        LogMerge merge = testing::mergeOf({c.log});
        RecordPrinter printer(options, *codePage);
        StringSink out;
        EXPECT_TRUE(runLines(merge, LogFilter{}, printer, out));
        EXPECT_EQ(out.text(), c.json) << c.log;
    }
}

// The members that name a record's module, thread and source file are kept
// from record to record: each record must come out as it does alone.
TEST(CommandLinesJson, NamesKeptFromRecordToRecordAreEachRecordsOwn)
{
    const auto record = [](const char* module, const char* process, unsigned pid, unsigned tid, const char* file) {
        char thread[64];
        std::snprintf(thread, sizeof thread, "%s %4u %4u", process, pid, tid);
        char line[200];
        std::snprintf(line, sizeof line, "%-7s 2026-12-08 00:48:38.473 %-20s%25s%5d REL    text\r\n", module, thread,
                      file, 62);
        return std::string(line);
    };
    const std::string records[] = {
        record("VRCCLN", "spoolsv", 308, 320, "port.cpp"),  record("VRCCLN", "spoolsv", 308, 321, "port.cpp"),
        record("VRCCLN", "spoolsvx", 308, 320, "port.cpp"), record("VRCPLG", "spoolsv", 308, 320, "port.cpp"),
        record("VRCPLG", "spoolsv", 309, 320, "port2.cpp"), record("VRCCLN", "M\xfcller", 308, 320, "\xe9tat.cpp"),
        record("VRCCLN", "spoolsv", 308, 320, "port.cpp"),
    };
    Options options;
    options.json = true;
    options.logs = {"VRCDRV62.LOG"};
    const std::unique_ptr<CodePage> codePage = builtInCodePage(1252);
    std::string whole;
    std::string eachAlone;
    for (const std::string& r : records) {
        whole += r;
        LogMerge merge = testing::mergeOf({r});
        RecordPrinter printer(options, *codePage);
        StringSink out;
        EXPECT_TRUE(runLines(merge, LogFilter{}, printer, out)) << r;
        eachAlone += out.text();
    }
    LogMerge merge = testing::mergeOf({whole});
    RecordPrinter printer(options, *codePage);
    StringSink out;
    EXPECT_TRUE(runLines(merge, LogFilter{}, printer, out));
    EXPECT_EQ(out.text(), eachAlone);
    EXPECT_NE(eachAlone.find(R"("module":"VRCPLG","process":"spoolsv","pid":309,"tid":320,"file":"port2.cpp")"),
              std::string::npos);
}

TEST(CommandLinesJson, TwoLogsMergedAsLinesMergesThemWithItsFilters)
{
    const ToolRun text = vrclog({"lines", "@VRCDBG62.LOG", "@VRCDRV62.LOG"});
    const ToolRun json = vrclog({"lines", "--json", "@VRCDBG62.LOG", "@VRCDRV62.LOG"});
    ASSERT_EQ(json.exitCode, kExitDone) << json.errors;
    // The records of lines, in its order, by the times of their header lines.
    std::string expected;
    for (std::size_t at = 0; (at = text.out.find("VRCCLN  ", at)) != std::string::npos; at += 8)
        expected += text.out.substr(at + 8, 10) + "T" + text.out.substr(at + 19, 12) + " ";
    std::string times;
    std::map<std::string, int> byLog;
    for (std::size_t at = 0, end; (end = json.out.find('\n', at)) != std::string::npos; at = end + 1) {
        Json record;
        ASSERT_TRUE(JsonReader(json.out.substr(at, end - at)).read(record)) << json.out.substr(at, end - at);
        ++byLog[record["log"].text];
        if (record["module"].kind != Json::Kind::Null)
            times += record["time"].text.substr(0, 23) + " ";  // without the offset
    }
    EXPECT_EQ(times, expected);
    EXPECT_EQ(byLog["VRCDBG62.LOG"], 288 + 4);  // with the reports written without a header
    EXPECT_EQ(byLog["VRCDRV62.LOG"], 10);
    const ToolRun rel = vrclog({"lines", "--json", "--class", "REL", "--tid", "320", "@VRCDBG62.LOG", "@VRCDRV62.LOG"});
    EXPECT_EQ(countOf(rel.out, "\n"), 2);
    EXPECT_EQ(countOf(rel.out, R"("tid":320,"file":"corpus_writer.cpp","line":62,"class":"REL")"), 2);
}

// Logs written in code pages 1252, 1251 and 932: texts, process names and file
// names come out of --json and perfetto as the characters meant, the plain
// lines as the log holds them, and --grep finds them by their characters.
TEST(CommandLinesJson, TextInTheWritersCodePageComesOutAsItsCharacters)
{
    const struct {
        const char* codePage;
        std::string process, file, text;  // as the writer's code page has them
        std::string processName, fileName, message;
    } cases[] = {
        {"1252", "caf\xe9", "r\xe9sum\xe9.cpp", "price \x80 5, \x93quoted\x94 \xc9\xa0 \x8a\x9f\x81", "café",
         "résumé.cpp", "price € 5, “quoted” É\u00a0 ŠŸ\ufffd"},
        {"1251", "\xcf\xf0\xe8\xe2\xe5\xf2", "\xf4\xe0\xe9\xeb.cpp", "\xcf\xf0\xe8\xe2\xe5\xf2 \xec\xe8\xf0", "Привет",
         "файл.cpp", "Привет мир"},
        {"932", "\x95\x5c\x8e\xa6", "\x95\x5c.cpp", "\x93\xfa\x96\x7b\x8c\xea \x95\x5cx \x81", "表示", "表.cpp",
         "日本語 表x \ufffd"},
    };
    for (const auto& c : cases) {
        std::string known;
        if (!openCodePage(static_cast<uint32_t>(std::stoul(c.codePage)), known))
            continue;  // the host build knows fewer code pages than Windows
        char header[160];
        std::snprintf(header, sizeof header, "VRCCLN  2026-12-08 00:48:38.473 %-20s%25s   62 REL    ",
                      (c.process + "  308  320").c_str(), c.file.c_str());
        const std::string log = header + c.text + "\r\n";
        const std::string path = std::string(VR_TEST_DIR) + "/vrclog_code_page_" + c.codePage + ".LOG";
        std::ofstream(path, std::ios::binary) << log;
        const ToolRun json = vrclog({"lines", "--json", "--code-page", c.codePage, path});
        Json record;
        ASSERT_TRUE(JsonReader(json.out).read(record)) << json.out;
        EXPECT_EQ(record["process"].text, c.processName);
        EXPECT_EQ(record["file"].text, c.fileName);
        EXPECT_EQ(record["text"].text, c.message);
        const std::string time = record["time"].text;  // this machine's offset at that time
        EXPECT_TRUE(time.size() == 29 && time.starts_with("2026-12-08T00:48:38.473") && time[26] == ':') << time;

        EXPECT_EQ(vrclog({"lines", "--code-page", c.codePage, "--grep", c.processName, path}).out, log);
        const std::string trace = path + ".json";
        ASSERT_EQ(vrclog({"perfetto", "-o", trace, "--code-page", c.codePage, path}).exitCode, kExitDone);
        Json perfetto;
        ASSERT_TRUE(JsonReader(readFile(trace)).read(perfetto));
        std::remove(trace.c_str());
        std::remove(path.c_str());
        std::string names;
        for (const Json& event : perfetto["traceEvents"].items)
            names += event["args"]["name"].text + event["args"]["text"].text + event["args"]["source"].text + "|";
        EXPECT_NE(names.find(c.processName + "|"), std::string::npos) << names;
        EXPECT_NE(names.find(c.message + c.fileName + ":62|"), std::string::npos) << names;
    }
}

TEST(CommandTree, EntriesByLevelWithTheirTrcLines)
{
    const ToolRun tree = vrclog({"tree", "--tid", "316", "@VRCDBG62.LOG"});
    ASSERT_EQ(tree.exitCode, kExitDone);
    EXPECT_EQ(tree.out.find("== vrclog_corpus_writer pid 308 tid 316\n"), 0u);
    EXPECT_EQ(countOf(tree.out, "== "), 1);
    EXPECT_NE(tree.out.find("2026-12-08 00:48:38.485  PrintJob\n"
                            "2026-12-08 00:48:38.503    RenderPage\n"
                            "2026-12-08 00:48:38.504      | band 1 ready  (x3)\n"
                            "2026-12-08 00:48:38.506      CompressBand  (3 calls)\n"),
              std::string::npos)
        << tree.out;

    const ToolRun threads = vrclog({"tree", "--process", "corpus writer 2", "@VRCDBG62.LOG"});
    EXPECT_EQ(countOf(threads.out, "  Recurse\n"), 100);
    EXPECT_NE(threads.out.find(std::string(2 * 99, ' ') + "Recurse\n"), std::string::npos);
    EXPECT_EQ(countOf(threads.out, ".811    | two lines ...\n"), 1);
    EXPECT_EQ(vrclog({"tree", "--class", "REL", "@VRCDRV62.LOG"}).exitCode, kExitNothingMatched);
}

TEST(CommandSummary, CountsFoldedEntriesAndHeldLinesByTheirRepeats)
{
    const ToolRun summary = vrclog({"summary", "@VRCDBG62.LOG", "@VRCDRV62.LOG"});
    ASSERT_EQ(summary.exitCode, kExitDone);
    const std::string& out = summary.out;
    EXPECT_NE(out.find("       200  Recurse\n        48  CompressBand\n        16  RenderPage\n"), std::string::npos)
        << out;
    EXPECT_NE(out.find("        24  band 1 ready\n"), std::string::npos);
    EXPECT_NE(out.find("         2  two lines / in one TRC text\n"), std::string::npos);
    EXPECT_NE(
        out.find("  2026-12-08 00:48:38.452  2026-12-08 00:48:38.464       5      1      1      1      1      1      0"
                 "  vrclog_corpus_writer pid 308 tid 312\n"),
        std::string::npos);
    EXPECT_NE(out.find("  2026-12-08 00:48:38.658  DEBUG ERROR: Function level count below 0.\n"), std::string::npos);
    EXPECT_EQ(countOf(out, "DEBUG ERROR"), 6);

    const ToolRun columns = vrclog({"summary", "@columns.LOG"});
    EXPECT_NE(columns.out.find("vrclog_corpus_writer pid 0x00000134 tid 0x00012A40\n"), std::string::npos);
    EXPECT_NE(columns.out.find("       100  Deep\n"), std::string::npos);
    EXPECT_NE(columns.out.find("Lines that could not be read as trace lines: 2\n"), std::string::npos);
    EXPECT_NE(out.find("\nMissing lines\n  none\n"), std::string::npos);

    // The tracer's own line where a log lost lines; a REL text that only
    // starts the same way, or holds more, is none.
    const std::string path = std::string(VR_TEST_DIR) + "/vrclog_gap.LOG";
    const std::string header =
        "VRCCLN  2026-12-08 11:03:38.173 spoolsv  100  200               log_files.cpp  310 REL    ";
    std::ofstream(path, std::ios::binary)
        << header + "TRACE ERROR: 37 lines could not be written to this log: the disk was full.\r\n" + header +
               "TRACE ERROR: something else\r\n" + header +
               "TRACE ERROR: job 12 could not be written to this log: printer offline\r\n" + header +
               "TRACE ERROR: 2 lines could not be written to this log: the disk was full.\r\n"
               "  TRACE ERROR: 2 lines could not be written to this log: the disk was full.\r\n";
    const ToolRun gaps = vrclog({"summary", path});
    std::remove(path.c_str());
    EXPECT_TRUE(gaps.out.ends_with("\nMissing lines\n  2026-12-08 11:03:38.173  37 lines could not be written to "
                                   "this log: the disk was full.  [spoolsv pid 100 tid 200]\n"))
        << gaps.out;
}

TEST(CommandPerfetto, WritesOneSlicePerEntryLineThatReadsBack)
{
    const std::string path = std::string(VR_TEST_DIR) + "/vrclog_commands_test.json";
    const ToolRun run = vrclog({"perfetto", "-o", path, "@VRCDBG62.LOG", "@VRCDRV62.LOG", "@columns.LOG"});
    ASSERT_EQ(run.exitCode, kExitDone) << run.errors;
    Json json;
    const std::string text = readFile(path);
    std::remove(path.c_str());
    ASSERT_TRUE(JsonReader(text).read(json)) << text.substr(0, 200);
    const Json& events = json["traceEvents"];
    ASSERT_EQ(events.kind, Json::Kind::Array);

    std::map<std::string, int> slicesByName;
    int slices = 0;
    int instants = 0;
    std::map<std::string, std::string> names;
    for (const Json& event : events.items) {
        const std::string phase = event["ph"].text;
        const double pid = event["pid"].number;
        const double tid = event["tid"].number;
        if (phase == "X") {
            ++slices;
            ++slicesByName[event["name"].text];
            EXPECT_GE(event["dur"].number, 0);
            EXPECT_GT(event["ts"].number, 1.7e15);  // microseconds since 1970
        } else if (phase == "i") {
            ++instants;
            EXPECT_EQ(event["args"]["text"].kind, Json::Kind::String);
        } else if (phase == "M") {
            names[event["name"].text + " " + std::to_string(pid) + " " + std::to_string(tid)] =
                event["args"]["name"].text;
        }
    }
    EXPECT_EQ(slices, 242 + 3);  // 121 entry lines from each writer, 3 in columns.LOG
    EXPECT_EQ(slicesByName["Recurse"], 200);
    EXPECT_EQ(slicesByName["CompressBand"], 16);
    // Every other line: header lines, the reports without a header, columns.LOG's
    // nine header lines (one more is damaged) less its entries.
    EXPECT_EQ(instants, 298 - 242 + 4 + 9 - 3);
    EXPECT_EQ(names["process_name 308.000000 0.000000"], "vrclog_corpus_writer");
    EXPECT_EQ(names["thread_name 332.000000 340.000000"], "corpus writer 2 340");
    EXPECT_EQ(names["process_name 308.000000 0.000000"], "vrclog_corpus_writer");

    // A slice lasts until the next entry at its level: PrintJob of thread 316
    // from 38.485 to its second PrintJob at 38.532.
    for (const Json& event : events.items) {
        if (event["ph"].text == "X" && event["tid"].number == 316 && event["ts"].number == 1796690918485000.0) {
            EXPECT_EQ(event["dur"].number, 47000);
        }
    }
    // The folded entry carries its calls.
    for (const Json& event : events.items) {
        if (event["ph"].text == "X" && event["name"].text == "Deep") {
            EXPECT_EQ(event["args"]["calls"].number, 100);
        }
    }
}

TEST(JsonText, EscapesControlsAndDecodesEveryByteByTheCodePage)
{
    const struct {
        uint32_t codePage;
        std::string_view bytes;
        std::string_view json;
    } cases[] = {
        {1252, "a\"b\\c\r\n\t\x01\x1f\x7f", "\"a\\\"b\\\\c\\r\\n\\t\\u0001\\u001f\x7f\""},
        {1252, "\x80\x81\x8a\x9f \xa0\xff\"\x01", "\"€\xef\xbf\xbdŠŸ \xc2\xa0ÿ\\\"\\u0001\""},
        {1251, "\xcf\xf0\xe8\xe2\xe5\xf2 \x98", "\"Привет \xef\xbf\xbd\""},
        // UTF-8 as a code page: a sequence cut short or ill-formed is U+FFFD, byte by byte.
        {kUtf8CodePage, "caf\xc3\xa9 \xe2\x82 \xc0\xaf \xed\xa0\x80 \xf0\x9f\x98\x80",
         "\"café \xef\xbf\xbd\xef\xbf\xbd \xef\xbf\xbd\xef\xbf\xbd \xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd "
         "\xf0\x9f\x98\x80\""},
    };
    for (const auto& c : cases) {
        const std::unique_ptr<CodePage> codePage = builtInCodePage(c.codePage);
        JsonWriter out(*codePage);
        out.putString(c.bytes);
        EXPECT_EQ(out.text(), c.json) << c.codePage << " " << c.bytes;
    }
}

// Long texts go through in blocks: every byte must come out as it does alone,
// wherever it stands, among plain ASCII and after another byte of its kind.
TEST(JsonText, AByteComesOutAsItDoesAloneWhereverItStands)
{
    for (const uint32_t codePage : {1252u, kUtf8CodePage}) {
        const std::unique_ptr<CodePage> decoder = builtInCodePage(codePage);
        for (int value = 0; value < (codePage == kUtf8CodePage ? 0x80 : 0x100); ++value) {
            const char byte = static_cast<char>(value);
            JsonWriter alone(*decoder);
            alone.putCharacters(std::string_view(&byte, 1));
            for (std::size_t at = 0; at < 40; ++at) {
                std::string text(40, 'a');
                text[at] = byte;
                text[39 - at] = byte;
                std::string expected(40, 'a');
                const std::size_t first = std::min(at, 39 - at);
                expected.replace(std::max(at, 39 - at), 1, alone.text());
                if (first != 39 - first)
                    expected.replace(first, 1, alone.text());
                JsonWriter out(*decoder);
                out.putCharacters(text);
                ASSERT_EQ(out.text(), expected) << codePage << " byte " << value << " at " << at;
            }
        }
    }
}

}  // namespace
}  // namespace vr::vrclog
