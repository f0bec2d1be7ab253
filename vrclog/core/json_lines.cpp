#include "json_lines.h"

#include "json_text.h"

namespace vr::vrclog {

namespace {

// "2026-12-08 11:03:38.173" as "2026-12-08T11:03:38.173+01:00".
void appendTime(std::string& out, std::string_view time, UtcOffsets& offsets)
{
    if (time.size() != kTimeLength) {
        out += "null";
        return;
    }
    out += '"';
    out.append(time.substr(0, 10));
    out += 'T';
    out.append(time.substr(11));
    if (const std::optional<int> offset = offsets.at(time))
        appendUtcOffset(out, *offset);
    out += '"';
}

// The text's "\r\n" line breaks as "\n", like its bare "\n" ones.
void appendText(std::string& out, std::string_view text, CodePage& codePage)
{
    out += '"';
    for (std::size_t lineEnd; (lineEnd = text.find("\r\n")) != std::string_view::npos;) {
        appendJsonCharacters(out, text.substr(0, lineEnd), codePage);
        out += "\\n";
        text.remove_prefix(lineEnd + 2);
    }
    appendJsonCharacters(out, text, codePage);
    out += '"';
}

}  // namespace

std::string_view fileNameOf(std::string_view path) noexcept
{
    const std::size_t separator = path.find_last_of("/\\");
    return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

void appendJsonLine(std::string& out, const LogRecord& record, std::string_view logName, CodePage& codePage,
                    UtcOffsets& offsets)
{
    const LineHeader& header = record.header;
    out += "{\"time\":";
    appendTime(out, header.time, offsets);
    if (record.hasHeader) {
        out += ",\"module\":";
        appendJsonString(out, header.moduleTag, codePage);
        out += ",\"process\":";
        appendJsonString(out, header.processName, codePage);
        out += ",\"pid\":";
        appendJsonNumber(out, header.processId);
        out += ",\"tid\":";
        appendJsonNumber(out, header.threadId);
        out += ",\"file\":";
        appendJsonString(out, header.sourceFile, codePage);
        out += ",\"line\":";
        appendJsonNumber(out, header.sourceLine);
    } else {
        out += ",\"module\":null,\"process\":null,\"pid\":null,\"tid\":null,\"file\":null,\"line\":null";
    }
    out += ",\"class\":\"";
    out += lineClassName(header.lineClass);
    out += "\",\"text\":";
    appendText(out, record.fullText(), codePage);
    out += ",\"log\":";
    out += logName;
    if (header.count > 1) {
        out += ",\"count\":";
        appendJsonNumber(out, header.count);
    }
    out += "}\n";
}

}  // namespace vr::vrclog
