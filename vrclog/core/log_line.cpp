#include "log_line.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <iterator>

namespace vr::vrclog {

namespace {

using trace::kClassColumnWidth;
using trace::kLineNumberWidth;
using trace::kModuleTagWidth;
using trace::kProcessColumnWidth;
using trace::kSourceFileWidth;
constexpr std::size_t kDecimalIdWidth = 4;
// " 0x%08X 0x%08X": a blank, 0x and eight digits, twice.
constexpr std::size_t kHexIdsLength = 22;
constexpr std::size_t kMaxSourceName = 1024;
constexpr std::size_t kMinAfterLongColumn = kSourceFileWidth + kLineNumberWidth + 1;
constexpr std::size_t kMaxDigits = 9;  // keeps every parsed number inside int32
constexpr int32_t kMaxEntryLevel = 100;
constexpr std::size_t kMaxTrcDots = 100000;  // keeps the level inside int32 on any line
constexpr char kDebugError[] = "DEBUG ERROR";

// A prefix of a length known when compiling, compared without a call.
template <std::size_t N>
bool startsWith(std::string_view text, const char (&prefix)[N]) noexcept
{
    return text.size() >= N - 1 && std::memcmp(text.data(), prefix, N - 1) == 0;
}

bool isDigit(char c) noexcept { return static_cast<unsigned char>(c - '0') <= 9; }
bool isUpperHex(char c) noexcept { return isDigit(c) || static_cast<unsigned char>(c - 'A') <= 5; }

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

// Eight bytes of text as one number, in the machine's byte order; masks made
// the same way from byte patterns select the same places.
uint64_t eightBytes(const char* bytes) noexcept
{
    uint64_t word = 0;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

// The time is tested eight places at a time: a line-by-line check of its 23
// places costs more than the rest of a header.
bool isTime(std::string_view t) noexcept
{
    //                                                    "dddd-dd-dd dd:dd:dd.ddd"
    static constexpr char kPattern[kTimeLength + 1] = "0000-00-00 00:00:00.000";
    static constexpr char kDigitPlaces[kTimeLength + 1] =
        "\xF0\xF0\xF0\xF0\0\xF0\xF0\0\xF0\xF0\0\xF0\xF0\0\xF0\xF0\0\xF0\xF0\0\xF0\xF0\xF0";
    static constexpr char kOtherPlaces[kTimeLength + 1] = "\0\0\0\0\xFF\0\0\xFF\0\0\xFF\0\0\xFF\0\0\xFF\0\0\xFF\0\0\0";
    static constexpr char kSixes[9] = "\x06\x06\x06\x06\x06\x06\x06\x06";
    if (t.size() != kTimeLength)
        return false;
    uint64_t wrong = 0;
    for (std::size_t at : {std::size_t{0}, std::size_t{8}, kTimeLength - 8}) {
        // With the pattern taken away, a separator leaves 0 and a digit 0 to
        // 9, which stays under 16 with six added. Any other byte shows; a
        // carry out of a wrong byte can only add to what already shows.
        const uint64_t rest = eightBytes(t.data() + at) ^ eightBytes(kPattern + at);
        const uint64_t digitPlaces = eightBytes(kDigitPlaces + at);
        wrong |=
            (rest & eightBytes(kOtherPlaces + at)) | (rest & digitPlaces) | ((rest + eightBytes(kSixes)) & digitPlaces);
    }
    return wrong == 0;
}

bool hexIdsEndAt(std::string_view area, std::size_t end) noexcept
{
    if (end < kHexIdsLength || end > area.size())
        return false;
    const char* ids = area.data() + end - kHexIdsLength;
    if (ids[0] != ' ' || ids[1] != '0' || ids[2] != 'x' || ids[11] != ' ' || ids[12] != '0' || ids[13] != 'x')
        return false;
    bool hex = true;
    for (std::size_t k = 0; k < 8; ++k)
        hex &= isUpperHex(ids[3 + k]) & isUpperHex(ids[14 + k]);
    return hex;
}

// The value of digits already known to be digits, at most kMaxDigits of them.
uint32_t digitsValue(const char* digits, std::size_t count) noexcept
{
    uint32_t value = 0;
    for (std::size_t i = 0; i < count; ++i)
        value = value * 10 + static_cast<uint32_t>(digits[i] - '0');
    return value;
}

// "%4u" after a blank, read backwards from end: the digits, then exactly the
// blanks the field and the separator put before them.
bool decimalIdBefore(std::string_view area, std::size_t end, uint32_t& value, std::size_t& fieldStart) noexcept
{
    const char* a = area.data();
    // One digit more than a number may have is enough to refuse it.
    const std::size_t stop = end > kMaxDigits + 1 ? end - (kMaxDigits + 1) : 0;
    std::size_t start = end;
    while (start > stop && isDigit(a[start - 1]))
        --start;
    const std::size_t digits = end - start;
    if (digits == 0 || digits > kMaxDigits)
        return false;
    const std::size_t blanks = 1 + (digits < kDecimalIdWidth ? kDecimalIdWidth - digits : 0);
    if (start < blanks)
        return false;
    for (std::size_t i = start - blanks; i < start; ++i)
        if (a[i] != ' ')
            return false;
    value = digitsValue(a + start, digits);
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
        !isDigit(area[threadField - 1]) || !decimalIdBefore(area, threadField, header.processId, processField))
        return false;
    header.hexadecimalIds = false;
    header.processName = area.substr(0, processField);
    return true;
}

// "%5d " at position at: blanks and digits filling five places (or more
// digits and no blank), then one blank. Gives the position after that blank.
bool lineNumberAt(std::string_view area, std::size_t at, int32_t& value, std::size_t& after) noexcept
{
    const char* a = area.data();
    const std::size_t size = area.size();
    // More blanks than the field pads with, or more digits than a number
    // may have, already refuse it: the counts stop there.
    std::size_t digitsStart = at;
    while (digitsStart < size && a[digitsStart] == ' ' && digitsStart - at < kLineNumberWidth)
        ++digitsStart;
    std::size_t end = digitsStart;
    while (end < size && isDigit(a[end]) && end - digitsStart <= kMaxDigits)
        ++end;
    const std::size_t blanks = digitsStart - at;
    const std::size_t digits = end - digitsStart;
    if (digits == 0 || digits > kMaxDigits)
        return false;
    if (digits < kLineNumberWidth ? blanks != kLineNumberWidth - digits : blanks != 0)
        return false;
    if (end >= size || a[end] != ' ')
        return false;
    value = static_cast<int32_t>(digitsValue(a + digitsStart, digits));
    after = end + 1;
    return true;
}

// With the process column ending at columnEnd: the padding to 20, the source
// file right-aligned in 25 (a longer name fills its place with no blank before
// it) and the line number. Gives where the class column starts.
bool readSourceColumns(std::string_view area, std::size_t columnEnd, LineHeader& header,
                       std::size_t& textStart) noexcept
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
        const std::size_t sourceEnd = source + kSourceFileWidth;
        if (!lineNumberAt(area, sourceEnd, header.sourceLine, textStart))
            return false;
        std::size_t name = source;
        while (name < sourceEnd && area[name] == ' ')
            ++name;
        header.sourceFile = area.substr(name, sourceEnd - name);
        return true;
    }
    const std::size_t last = std::min(area.size(), source + kMaxSourceName);
    for (std::size_t end = source + kSourceFileWidth; end < last; ++end) {
        // Most places in a long name are neither blank nor digit: no number there.
        if (area[end] != ' ' && !isDigit(area[end]))
            continue;
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
    if (!startsWith(rest, "TRC"))
        return false;
    std::size_t columnEnd = 0;
    uint32_t repeats = 1;
    if (startsWith(rest.substr(3), "    ")) {
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
    if (startsWith(rest, "REL    ")) {
        header.lineClass = LineClass::Rel;
        header.text = rest.substr(kClassColumnWidth);
    } else if (startsWith(rest, "DBG    ")) {
        header.lineClass = LineClass::Dbg;
        header.text = rest.substr(kClassColumnWidth);
    } else if (readTrcColumn(rest, header) || readEntryColumn(rest, header)) {
        return;
    } else {
        header.lineClass = LineClass::Plain;
        header.text = rest;
    }
    // An error report sent as a message carries its own header.
    if (startsWith(header.text, kDebugError))
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

namespace {

// The module tag and the time; gives the rest of the line behind them, or
// false with the shape of a line that is no header.
bool readLineStart(std::string_view line, ParsedLine& parsed, std::string_view& area) noexcept
{
    const std::string_view content = withoutLineEnd(line);
    if (content.empty()) {
        parsed.shape = LineShape::Blank;
        return false;
    }
    if (startsWith(content, kDebugError)) {
        parsed.shape = LineShape::DebugError;
        return false;
    }
    parsed.shape = LineShape::Text;
    const std::size_t tagLength = std::min(content.find(' '), content.size());
    if (tagLength == 0 || tagLength > kMaxModuleTag)
        return false;
    const std::size_t timeStart = std::max(tagLength, kModuleTagWidth) + 1;
    if (content.size() <= timeStart + kTimeLength || countLeading(content, tagLength, ' ') < timeStart - tagLength)
        return false;
    const std::string_view time = content.substr(timeStart, kTimeLength);
    if (!isTime(time) || content[timeStart + kTimeLength] != ' ')
        return false;
    parsed.shape = LineShape::BrokenHeader;
    parsed.header.moduleTag = content.substr(0, tagLength);
    parsed.header.time = time;
    area = content.substr(timeStart + kTimeLength + 1);
    return true;
}

// Whether the rest of the header fits behind a process column ending at end
// (1 <= end <= area.size()); fills the header up to the class column if so.
bool headerFitsAt(std::string_view area, std::size_t end, LineHeader& header, std::size_t& textStart) noexcept
{
    const char last = area[end - 1];
    const bool candidate = (isDigit(last) && (end == area.size() || !isDigit(area[end]))) ||
                           (end >= kHexIdsLength && isUpperHex(last) && area[end - 9] == 'x' && hexIdsEndAt(area, end));
    return candidate && readProcessColumn(area, end, header) && readSourceColumns(area, end, header, textStart);
}

void finishHeader(ParsedLine& parsed, std::string_view area, std::size_t textStart) noexcept
{
    parsed.shape = LineShape::Header;
    readClassColumn(area.substr(textStart), parsed.header);
}

bool findColumnEnd(std::string_view area, LineHeader& header, std::size_t& textStart) noexcept
{
    // A column under 20 characters is padded with blanks to 20. Of the column
    // ends up to 20 only the one after the last non-blank there can fit: an
    // earlier end would leave that non-blank in the padding, and a later one
    // follows a blank, which no id ends with. The search goes on past 20.
    std::size_t padded = std::min(area.size(), kProcessColumnWidth);
    while (padded > 0 && area[padded - 1] == ' ')
        --padded;
    if (padded > 0 && headerFitsAt(area, padded, header, textStart))
        return true;
    // Behind a column of 20 or more come at least the source column and the
    // line number with its blank: the loop reads area[end] safely.
    const std::size_t lastEnd =
        std::min(kMaxProcessColumn, area.size() > kMinAfterLongColumn ? area.size() - kMinAfterLongColumn : 0);
    for (std::size_t end = kProcessColumnWidth + 1; end <= lastEnd; ++end) {
        // What headerFitsAt asks first, without the cost of a call.
        const bool digitRunEnds = isDigit(area[end - 1]) && !isDigit(area[end]);
        const bool mayEndHexIds = area[end - 9] == 'x' && isUpperHex(area[end - 1]) && end >= kHexIdsLength;
        if ((digitRunEnds || mayEndHexIds) && headerFitsAt(area, end, header, textStart))
            return true;
    }
    return false;
}

}  // namespace

ParsedLine parseLine(std::string_view line) noexcept
{
    ParsedLine parsed;
    std::string_view area;
    std::size_t textStart = 0;
    if (readLineStart(line, parsed, area) && findColumnEnd(area, parsed.header, textStart))
        finishHeader(parsed, area, textStart);
    return parsed;
}

ParsedLine parseLineWithColumnEnd(std::string_view line, std::size_t columnEnd) noexcept
{
    ParsedLine parsed;
    std::string_view area;
    std::size_t textStart = 0;
    if (readLineStart(line, parsed, area) && columnEnd >= 1 && columnEnd <= area.size() &&
        headerFitsAt(area, columnEnd, parsed.header, textStart))
        finishHeader(parsed, area, textStart);
    return parsed;
}

std::string_view lineClassName(LineClass lineClass) noexcept
{
    // In the order of LineClass.
    constexpr std::string_view kNames[kLineClassCount] = {"REL", "TRC", "DBG", "ENTRY", "ERROR", "TEXT"};
    const auto index = static_cast<std::size_t>(lineClass);
    return index < std::size(kNames) ? kNames[index] : "TEXT";
}

}  // namespace vr::vrclog
