// vrclog's command line and the run of a command: opening the logs, the
// command itself, the exit code. No platform calls.
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "code_page.h"
#include "log_filter.h"
#include "log_merge.h"
#include "text_sink.h"
#include "utc_offset.h"

namespace vr::vrclog {

inline constexpr int kExitDone = 0;
inline constexpr int kExitNothingMatched = 1;
inline constexpr int kExitBadCommandLine = 2;
inline constexpr int kExitCannotRead = 3;

enum class Command { Help, Lines, Tree, Summary, Perfetto };

struct Options {
    Command command = Command::Help;
    LogFilter filter;
    std::string outputPath;  // perfetto's -o
    bool follow = false;  // lines --follow: the lines appended from now on
    bool json = false;  // lines --json: each record as one JSON object on a line
    uint32_t codePage = 0;  // the logs' code page; 0: the ANSI code page of this machine
    std::optional<int> utcOffsetMinutes;  // the logs' zone; none: this machine's
    std::vector<std::string> logs;
};

struct ParsedCommandLine {
    Options options;
    std::string error;  // empty when the command line is good
};

ParsedCommandLine parseCommandLine(std::span<const std::string> arguments);
std::string_view usageText() noexcept;

// Runs a parsed command over its logs: output to out, messages to errors.
// Gives the exit code.
int runCommand(const Options& options, TextSink& out, TextSink& errors);

// How lines shows a record: as the log holds it, or with --json as one JSON
// object on a line, its text decoded from the code page, naming the log by
// the file name it was given as.
class RecordPrinter {
public:
    RecordPrinter(const Options& options, CodePage& codePage);
    void print(const LogRecord& record, TextSink& out);

private:
    bool json_;
    CodePage& codePage_;
    UtcOffsets offsets_;
    std::vector<std::string> logNames_;  // as JSON strings, by the log's place on the command line
    std::string line_;
};

// The commands. Each reads the stream to its end and tells whether any
// record matched the filter.
bool runLines(LogMerge& logs, const LogFilter& filter, RecordPrinter& printer, TextSink& out);
bool runTree(LogMerge& logs, const LogFilter& filter, TextSink& out);
bool runSummary(LogMerge& logs, const LogFilter& filter, TextSink& out);
bool runPerfetto(LogMerge& logs, const LogFilter& filter, CodePage& codePage, TextSink& json);

// A record's lines as in the log, with a line end after the last one.
void writeRecordLines(const LogRecord& record, TextSink& out);

}  // namespace vr::vrclog
