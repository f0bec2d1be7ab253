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
void putText(JsonWriter& out, std::string_view text)
{
    out.putRaw("\"");
    for (std::size_t lineEnd; (lineEnd = text.find("\r\n")) != std::string_view::npos;) {
        out.putCharacters(text.substr(0, lineEnd));
        out.putRaw("\\n");
        text.remove_prefix(lineEnd + 2);
    }
    out.putCharacters(text);
    out.putRaw("\"");
}

}  // namespace

std::string_view fileNameOf(std::string_view path) noexcept
{
    const std::size_t separator = path.find_last_of("/\\");
    return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

JsonLines::JsonLines(CodePage& codePage, std::optional<int> utcOffsetMinutes, std::span<const std::string> logPaths)
    : offsets_(utcOffsetMinutes), line_(codePage), piece_(codePage)
{
    // Names come from the command line, which the console program hands on as UTF-8.
    const std::unique_ptr<CodePage> utf8 = builtInCodePage(kUtf8CodePage);
    JsonWriter name(*utf8);
    for (const std::string& path : logPaths) {
        name.clear();
        name.putString(fileNameOf(path));
        logNames_.emplace_back(name.text());
    }
}

std::string_view JsonLines::jsonOf(LastString& last, std::string_view bytes)
{
    if (bytes != last.bytes) {
        piece_.clear();
        piece_.putString(bytes);
        last.bytes.assign(bytes);
        last.json.assign(piece_.text());
    }
    return last.json;
}

std::string_view JsonLines::threadMembers(const LineHeader& header)
{
    const std::size_t thread = threads_.indexOf(header);
    if (thread == threadMembers_.size()) {
        piece_.clear();
        piece_.putRaw(",\"process\":");
        piece_.putString(header.processName);
        piece_.putRaw(",\"pid\":");
        piece_.putNumber(header.processId);
        piece_.putRaw(",\"tid\":");
        piece_.putNumber(header.threadId);
        threadMembers_.emplace_back(piece_.text());
    }
    return threadMembers_[thread];
}

std::string_view JsonLines::line(const LogRecord& record)
{
    const LineHeader& header = record.header;
    line_.clear();
    line_.putRaw("{\"time\":");
    putTime(line_, header.time, offsets_);
    if (record.hasHeader) {
        line_.putRaw(",\"module\":");
        line_.putRaw(jsonOf(module_, header.moduleTag));
        line_.putRaw(threadMembers(header));
        line_.putRaw(",\"file\":");
        line_.putRaw(jsonOf(sourceFile_, header.sourceFile));
        line_.putRaw(",\"line\":");
        line_.putNumber(header.sourceLine);
    } else {
        line_.putRaw(",\"module\":null,\"process\":null,\"pid\":null,\"tid\":null,\"file\":null,\"line\":null");
    }
    line_.putRaw(",\"class\":\"");
    line_.putRaw(lineClassName(header.lineClass));
    line_.putRaw("\",\"text\":");
    putText(line_, record.fullText());
    line_.putRaw(",\"log\":");
    line_.putRaw(record.fileIndex < logNames_.size() ? std::string_view(logNames_[record.fileIndex]) : "\"\"");
    if (header.count > 1) {
        line_.putRaw(",\"count\":");
        line_.putNumber(header.count);
    }
    line_.putRaw("}\n");
    return line_.text();
}

}  // namespace vr::vrclog
