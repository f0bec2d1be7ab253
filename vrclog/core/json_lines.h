// vrclog lines --json: each record as one JSON object on one line (JSON
// Lines), for the log platforms that sites ship their logs into. Members, in
// this order: time (the log's local time as ISO 8601 with milliseconds and
// its offset from UTC, "2026-12-08T11:03:38.173+01:00"; without the offset
// when the time cannot be placed), module, process, pid, tid, file, line, class, text (the whole
// text, its line breaks as \n), log (the file name of the log it came from),
// and count for a folded record only (an entry folding calls, a TRC line
// repeats). A record written without a header (an error report, lines before
// the first record) has null for what only a header tells; an error report
// takes the time of the record before it. Text is decoded from the log's
// code page as in json_text.h: the output is UTF-8 and valid JSON for any
// bytes. No platform calls.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "code_page.h"
#include "json_text.h"
#include "log_reader.h"
#include "thread_index.h"
#include "utc_offset.h"

namespace vr::vrclog {

class JsonLines {
public:
    // logPaths: the logs as the command line names them, by their place there.
    JsonLines(CodePage& codePage, std::optional<int> utcOffsetMinutes, std::span<const std::string> logPaths);

    // The record as a JSON object and a line end ("\n"); valid until the next call.
    std::string_view line(const LogRecord& record);

private:
    // The JSON string of the last bytes given, kept: the module and source
    // file of a record mostly repeat those of the record before it.
    struct LastString {
        std::string bytes;
        std::string json = "\"\"";
    };
    std::string_view jsonOf(LastString& last, std::string_view bytes);
    std::string_view threadMembers(const LineHeader& header);

    UtcOffsets offsets_;
    std::vector<std::string> logNames_;  // as JSON strings
    // The members that name a thread (process, pid, tid), by ThreadIndex's
    // number: a log has a handful of threads, each with many records.
    ThreadIndex threads_;
    std::vector<std::string> threadMembers_;
    LastString module_;
    LastString sourceFile_;
    JsonWriter line_;
    JsonWriter piece_;
};

// The file name of a path as given on the command line: after its last "/" or "\".
std::string_view fileNameOf(std::string_view path) noexcept;

}  // namespace vr::vrclog
