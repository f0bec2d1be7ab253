// vrclog lines: the matching records as the log holds them, or as JSON Lines.
// No platform calls.
#pragma once

#include <optional>

#include "code_page.h"
#include "command_options.h"
#include "json_lines.h"
#include "log_filter.h"
#include "log_merge.h"
#include "text_sink.h"

namespace vr::vrclog {

// How lines shows a record: as the log holds it, or with --json as one JSON
// object on a line, its text decoded from the code page, naming the log by
// the file name it was given as.
class RecordPrinter {
public:
    RecordPrinter(const Options& options, CodePage& codePage);
    void print(const LogRecord& record, TextSink& out);

private:
    std::optional<JsonLines> json_;
};

// Reads the stream to its end; tells whether any record matched the filter.
bool runLines(LogMerge& logs, const LogFilter& filter, RecordPrinter& printer, TextSink& out);

// A record's lines as in the log, with a line end after the last one.
void writeRecordLines(const LogRecord& record, TextSink& out);

}  // namespace vr::vrclog
