// vrclog lines: the matching records as they are in the log, every line of a
// multi-line text included, with the log's own line ends.
#include "command_line.h"
#include "matching_records.h"

namespace vr::vrclog {

void writeRecordLines(const LogRecord& record, TextSink& out)
{
    out.write(record.raw);
    // The last line of a log may end without a line end.
    if (!record.raw.empty() && record.raw.back() != '\n')
        out.write("\r\n");
}

bool runLines(LogMerge& logs, const LogFilter& filter, TextSink& out)
{
    return forEachMatchingRecord(logs, filter, [&](const LogRecord& record) { writeRecordLines(record, out); });
}

}  // namespace vr::vrclog
