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
    : json_(options.json), codePage_(codePage), offsets_(options.utcOffsetMinutes)
{
    // Names come from the command line, which the console program hands on as UTF-8.
    const std::unique_ptr<CodePage> utf8 = builtInCodePage(kUtf8CodePage);
    JsonWriter name;
    for (const std::string& path : options.logs) {
        name.clear();
        name.putString(fileNameOf(path), *utf8);
        logNames_.emplace_back(name.text());
    }
}

void RecordPrinter::print(const LogRecord& record, TextSink& out)
{
    if (!json_) {
        writeRecordLines(record, out);
        return;
    }
    line_.clear();
    putJsonLine(line_, record, record.fileIndex < logNames_.size() ? logNames_[record.fileIndex] : "\"\"", codePage_,
                offsets_);
    out.write(line_.text());
}

bool runLines(LogMerge& logs, const LogFilter& filter, RecordPrinter& printer, TextSink& out)
{
    return forEachMatchingRecord(logs, filter, [&](const LogRecord& record) { printer.print(record, out); });
}

}  // namespace vr::vrclog
