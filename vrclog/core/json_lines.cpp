#include "json_lines.h"

#include <cstring>

namespace vr::vrclog {

namespace {

// "2026-12-08 11:03:38.173" as "2026-12-08T11:03:38.173+01:00".
void putTime(JsonWriter& out, std::string_view time, UtcOffsets& offsets)
{
    if (time.size() != kTimeLength) {
        out.putRaw("null");
        return;
    }
    constexpr std::size_t kDateLength = 10;
    constexpr std::size_t kLongestOffset = 6;  // "+01:00"
    const std::string_view offset = offsets.at(time);
    char text[1 + kTimeLength + kLongestOffset + 1];
    text[0] = '"';
    std::memcpy(text + 1, time.data(), kTimeLength);
    text[1 + kDateLength] = 'T';
    std::size_t length = 1 + kTimeLength;
    length += offset.copy(text + length, kLongestOffset);
    text[length++] = '"';
    out.putRaw(std::string_view(text, length));
}

// The text's "\r\n" line breaks as "\n", like its bare "\n" ones.
void putText(JsonWriter& out, std::string_view text, CodePage& codePage)
{
    out.putRaw("\"");
    for (std::size_t lineEnd; (lineEnd = text.find("\r\n")) != std::string_view::npos;) {
        out.putCharacters(text.substr(0, lineEnd), codePage);
        out.putRaw("\\n");
        text.remove_prefix(lineEnd + 2);
    }
    out.putCharacters(text, codePage);
    out.putRaw("\"");
}

}  // namespace

std::string_view fileNameOf(std::string_view path) noexcept
{
    const std::size_t separator = path.find_last_of("/\\");
    return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

void putJsonLine(JsonWriter& out, const LogRecord& record, std::string_view logName, CodePage& codePage,
                 UtcOffsets& offsets)
{
    const LineHeader& header = record.header;
    out.putRaw("{\"time\":");
    putTime(out, header.time, offsets);
    if (record.hasHeader) {
        out.putRaw(",\"module\":");
        out.putString(header.moduleTag, codePage);
        out.putRaw(",\"process\":");
        out.putString(header.processName, codePage);
        out.putRaw(",\"pid\":");
        out.putNumber(header.processId);
        out.putRaw(",\"tid\":");
        out.putNumber(header.threadId);
        out.putRaw(",\"file\":");
        out.putString(header.sourceFile, codePage);
        out.putRaw(",\"line\":");
        out.putNumber(header.sourceLine);
    } else {
        out.putRaw(",\"module\":null,\"process\":null,\"pid\":null,\"tid\":null,\"file\":null,\"line\":null");
    }
    out.putRaw(",\"class\":\"");
    out.putRaw(lineClassName(header.lineClass));
    out.putRaw("\",\"text\":");
    putText(out, record.fullText(), codePage);
    out.putRaw(",\"log\":");
    out.putRaw(logName);
    if (header.count > 1) {
        out.putRaw(",\"count\":");
        out.putNumber(header.count);
    }
    out.putRaw("}\n");
}

}  // namespace vr::vrclog
