// vrclog lines: the matching records as they are in the log, every line of a
// multi-line text included, with the log's own line ends; or as JSON Lines.
#include "command_lines.h"
#include "json_lines.h"
#include "matching_records.h"

namespace vr::vrclog {

void writeRecordLines(const LogRecord& record, TextSink& out)
{
    out.write(record.raw);
    // The last line of a log may end without a line end.
    if (!record.raw.empty() && record.raw.back() != '\n')
        out.write("\r\n");
}

RecordPrinter::RecordPrinter(const Options& options, CodePage& codePage)
{
    if (options.json)
        json_.emplace(codePage, options.utcOffsetMinutes, options.logs);
}

void RecordPrinter::print(const LogRecord& record, TextSink& out)
{
    if (json_)
        out.write(json_->line(record));
    else
        writeRecordLines(record, out);
}

bool runLines(LogMerge& logs, const LogFilter& filter, RecordPrinter& printer, TextSink& out)
{
    return forEachMatchingRecord(logs, filter, [&](const LogRecord& record) { printer.print(record, out); });
}

}  // namespace vr::vrclog
