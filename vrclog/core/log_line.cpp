#include "log_line.h"

#include <algorithm>
#include <cstddef>

namespace vr::vrclog {

namespace {

constexpr std::size_t kMaxModuleTag = 32;
constexpr std::size_t kModuleTagWidth = 7;
constexpr std::size_t kProcessColumnWidth = 20;
constexpr std::size_t kSourceColumnWidth = 25;
constexpr std::size_t kLineNumberWidth = 5;
constexpr std::size_t kClassColumnWidth = 7;
constexpr std::size_t kDecimalIdWidth = 4;
// " 0x%08X 0x%08X": a blank, 0x and eight digits, twice.
constexpr std::size_t kHexIdsLength = 22;
// An executable base name fits in MAX_PATH; a longer search only wastes time
// on a line that is not a header.
constexpr std::size_t kMaxProcessColumn = 300;
constexpr std::size_t kMaxSourceName = 1024;
constexpr std::size_t kMaxDigits = 9;  // keeps every parsed number inside int32
constexpr int32_t kMaxEntryLevel = 100;
constexpr std::size_t kMaxTrcDots = 100000;  // keeps the level inside int32 on any line
constexpr std::string_view kDebugError = "DEBUG ERROR";

bool isDigit(char c) noexcept { return c >= '0' && c <= '9'; }
bool isUpperHex(char c) noexcept { return isDigit(c) || (c >= 'A' && c <= 'F'); }

std::size_t countLeading(std::string_view text, std::size_t from, char wanted) noexcept
{
    std::size_t n = from;
    while (n < text.size() && text[n] == wanted)
        ++n;
    return n - from;
}

std::size_t countDigits(std::string_view text, std::size_t from) noexcept
{
    std::size_t n = from;
    while (n < text.size() && isDigit(text[n]))
        ++n;
    return n - from;
}

// Digits only, at most kMaxDigits of them.
bool readNumber(std::string_view digits, uint32_t& value) noexcept
{
    if (digits.empty() || digits.size() > kMaxDigits)
        return false;
    uint32_t result = 0;
    for (char c : digits) {
        if (!isDigit(c))
            return false;
        result = result * 10 + static_cast<uint32_t>(c - '0');
    }
    value = result;
    return true;
}

uint32_t readHex(std::string_view digits) noexcept
{
    uint32_t result = 0;
    for (char c : digits)
        result = result * 16 + static_cast<uint32_t>(isDigit(c) ? c - '0' : c - 'A' + 10);
    return result;
}

bool isTime(std::string_view t) noexcept
{
    constexpr std::string_view kPattern = "dddd-dd-dd dd:dd:dd.ddd";
    if (t.size() != kPattern.size())
        return false;
    for (std::size_t i = 0; i < kPattern.size(); ++i)
        if (kPattern[i] == 'd' ? !isDigit(t[i]) : t[i] != kPattern[i])
            return false;
    return true;
}

bool hexIdsEndAt(std::string_view area, std::size_t end) noexcept
{
    if (end < kHexIdsLength)
        return false;
    const std::string_view ids = area.substr(end - kHexIdsLength, kHexIdsLength);
    if (ids.substr(0, 3) != " 0x" || ids.substr(11, 3) != " 0x")
        return false;
    for (std::size_t i : {3, 14})
        for (std::size_t k = 0; k < 8; ++k)
            if (!isUpperHex(ids[i + k]))
                return false;
    return true;
}

// "%4u" after a blank, read backwards from end: the digits, then exactly the
// blanks the field and the separator put before them.
bool decimalIdBefore(std::string_view area, std::size_t end, uint32_t& value, std::size_t& fieldStart) noexcept
{
    std::size_t start = end;
    while (start > 0 && isDigit(area[start - 1]))
        --start;
    if (!readNumber(area.substr(start, end - start), value))
        return false;
    const std::size_t digits = end - start;
    const std::size_t blanks = 1 + (digits < kDecimalIdWidth ? kDecimalIdWidth - digits : 0);
    if (start < blanks)
        return false;
    for (std::size_t i = start - blanks; i < start; ++i)
        if (area[i] != ' ')
            return false;
    fieldStart = start - blanks;
    return true;
}

// The process column is read from its right end, since the executable name
// before the ids may itself hold blanks and digits.
bool readProcessColumn(std::string_view area, std::size_t end, LineHeader& header) noexcept
{
    if (hexIdsEndAt(area, end)) {
        const std::size_t ids = end - kHexIdsLength;
        header.processId = readHex(area.substr(ids + 3, 8));
        header.threadId = readHex(area.substr(ids + 14, 8));
        header.hexadecimalIds = true;
        header.processName = area.substr(0, ids);
        return true;
    }
    std::size_t threadField = 0;
    std::size_t processField = 0;
    if (!decimalIdBefore(area, end, header.threadId, threadField) || threadField == 0 ||
        !isDigit(area[threadField - 1]) ||
        !decimalIdBefore(area, threadField, header.processId, processField))
        return false;
    header.hexadecimalIds = false;
    header.processName = area.substr(0, processField);
    return true;
}

// "%5d " at position at: blanks and digits filling five places (or more
// digits and no blank), then one blank. Gives the position after that blank.
bool lineNumberAt(std::string_view area, std::size_t at, int32_t& value, std::size_t& after) noexcept
{
    const std::size_t blanks = countLeading(area, at, ' ');
    const std::size_t digits = countDigits(area, at + blanks);
    if (digits == 0 || digits > kMaxDigits)
        return false;
    if (digits < kLineNumberWidth ? blanks != kLineNumberWidth - digits : blanks != 0)
        return false;
    const std::size_t end = at + blanks + digits;
    if (end >= area.size() || area[end] != ' ')
        return false;
    uint32_t number = 0;
    readNumber(area.substr(at + blanks, digits), number);
    value = static_cast<int32_t>(number);
    after = end + 1;
    return true;
}

// With the process column ending at columnEnd: the padding to 20, the source
// file right-aligned in 25 (a longer name fills its place with no blank before
// it) and the line number. Gives where the class column starts.
bool readSourceColumns(std::string_view area, std::size_t columnEnd, LineHeader& header, std::size_t& textStart) noexcept
{
    std::size_t source = columnEnd;
    if (columnEnd < kProcessColumnWidth) {
        if (area.size() <= kProcessColumnWidth)
            return false;
        for (std::size_t i = columnEnd; i < kProcessColumnWidth; ++i)
            if (area[i] != ' ')
                return false;
        source = kProcessColumnWidth;
    }
    if (source >= area.size())
        return false;
    if (area[source] == ' ') {
        const std::size_t sourceEnd = source + kSourceColumnWidth;
        if (!lineNumberAt(area, sourceEnd, header.sourceLine, textStart))
            return false;
        const std::string_view field = area.substr(source, kSourceColumnWidth);
        header.sourceFile = field.substr(std::min(field.find_first_not_of(' '), field.size()));
        return true;
    }
    const std::size_t last = std::min(area.size(), source + kMaxSourceName);
    for (std::size_t end = source + kSourceColumnWidth; end < last; ++end) {
        if (lineNumberAt(area, end, header.sourceLine, textStart)) {
            header.sourceFile = area.substr(source, end - source);
            return true;
        }
    }
    return false;
}

// "TRC    " or "TRCx%-3d", then one dot per level above the first.
bool readTrcColumn(std::string_view rest, LineHeader& header) noexcept
{
    if (rest.substr(0, 3) != "TRC")
        return false;
    std::size_t columnEnd = 0;
    uint32_t repeats = 1;
    if (rest.substr(3, 4) == "    ") {
        columnEnd = kClassColumnWidth;
    } else if (rest.size() > 3 && rest[3] == 'x') {
        const std::size_t digits = countDigits(rest, 4);
        if (!readNumber(rest.substr(4, digits), repeats))
            return false;
        columnEnd = 4 + digits;
        const std::size_t pad = columnEnd < kClassColumnWidth ? kClassColumnWidth - columnEnd : 0;
        if (countLeading(rest, columnEnd, ' ') < pad)
            return false;
        columnEnd += pad;
    } else {
        return false;
    }
    const std::size_t dots = std::min(countLeading(rest, columnEnd, '.'), kMaxTrcDots);
    header.lineClass = LineClass::Trc;
    header.count = static_cast<int32_t>(repeats);
    header.level = static_cast<int32_t>(dots) + 1;
    header.text = rest.substr(columnEnd + dots);
    return true;
}

// "%-7d" with the level, or "%d(%d)" with the level and the calls, padded to
// seven; then level - 1 dots and the function name.
bool readEntryColumn(std::string_view rest, LineHeader& header) noexcept
{
    const std::size_t levelDigits = countDigits(rest, 0);
    uint32_t level = 0;
    if (!readNumber(rest.substr(0, levelDigits), level) || level < 1 || level > kMaxEntryLevel)
        return false;
    std::size_t token = levelDigits;
    uint32_t calls = 1;
    if (token < rest.size() && rest[token] == '(') {
        const std::size_t callDigits = countDigits(rest, token + 1);
        const std::size_t close = token + 1 + callDigits;
        if (!readNumber(rest.substr(token + 1, callDigits), calls) || calls < 1 || close >= rest.size() ||
            rest[close] != ')')
            return false;
        token = close + 1;
    }
    std::size_t columnEnd = token;
    if (token < kClassColumnWidth) {
        if (countLeading(rest, token, ' ') < kClassColumnWidth - token)
            return false;
        columnEnd = kClassColumnWidth;
    }
    const std::size_t dots = level - 1;
    if (countLeading(rest, columnEnd, '.') < dots)
        return false;
    header.lineClass = LineClass::Entry;
    header.level = static_cast<int32_t>(level);
    header.count = static_cast<int32_t>(calls);
    header.text = rest.substr(columnEnd + dots);
    return true;
}

void readClassColumn(std::string_view rest, LineHeader& header) noexcept
{
    header.level = 0;
    header.count = 1;
    if (rest.substr(0, kClassColumnWidth) == "REL    ") {
        header.lineClass = LineClass::Rel;
        header.text = rest.substr(kClassColumnWidth);
    } else if (rest.substr(0, kClassColumnWidth) == "DBG    ") {
        header.lineClass = LineClass::Dbg;
        header.text = rest.substr(kClassColumnWidth);
    } else if (readTrcColumn(rest, header) || readEntryColumn(rest, header)) {
        return;
    } else {
        header.lineClass = LineClass::Plain;
        header.text = rest;
    }
    // An error report sent as a message carries its own header.
    if (header.text.starts_with(kDebugError))
        header.lineClass = LineClass::Error;
}

}  // namespace

std::string_view withoutLineEnd(std::string_view line) noexcept
{
    if (!line.empty() && line.back() == '\n')
        line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

ParsedLine parseLine(std::string_view line) noexcept
{
    ParsedLine parsed;
    const std::string_view content = withoutLineEnd(line);
    if (content.empty()) {
        parsed.shape = LineShape::Blank;
        return parsed;
    }
    if (content.starts_with(kDebugError)) {
        parsed.shape = LineShape::DebugError;
        return parsed;
    }
    parsed.shape = LineShape::Text;
    const std::size_t tagLength = std::min(content.find(' '), content.size());
    if (tagLength == 0 || tagLength > kMaxModuleTag)
        return parsed;
    const std::size_t timeStart = std::max(tagLength, kModuleTagWidth) + 1;
    if (content.size() <= timeStart + kTimeLength || countLeading(content, tagLength, ' ') < timeStart - tagLength)
        return parsed;
    const std::string_view time = content.substr(timeStart, kTimeLength);
    if (!isTime(time) || content[timeStart + kTimeLength] != ' ')
        return parsed;

    parsed.shape = LineShape::BrokenHeader;
    LineHeader& header = parsed.header;
    header.moduleTag = content.substr(0, tagLength);
    header.time = time;
    const std::string_view area = content.substr(timeStart + kTimeLength + 1);
    // The first column end that the rest of the header fits behind.
    const std::size_t lastEnd = std::min(area.size(), kMaxProcessColumn);
    for (std::size_t end = 1; end <= lastEnd; ++end) {
        const char last = area[end - 1];
        const bool candidate = (isDigit(last) && (end == area.size() || !isDigit(area[end]))) ||
                               (end >= kHexIdsLength && isUpperHex(last) && area[end - 9] == 'x' && hexIdsEndAt(area, end));
        std::size_t textStart = 0;
        if (candidate && readProcessColumn(area, end, header) && readSourceColumns(area, end, header, textStart)) {
            parsed.shape = LineShape::Header;
            readClassColumn(area.substr(textStart), header);
            return parsed;
        }
    }
    return parsed;
}

std::string_view lineClassName(LineClass lineClass) noexcept
{
    switch (lineClass) {
    case LineClass::Rel: return "REL";
    case LineClass::Trc: return "TRC";
    case LineClass::Dbg: return "DBG";
    case LineClass::Entry: return "ENTRY";
    case LineClass::Error: return "ERROR";
    case LineClass::Plain: return "TEXT";
    }
    return "TEXT";
}

}  // namespace vr::vrclog
