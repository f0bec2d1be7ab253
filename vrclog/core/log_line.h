// One physical line of a trace log: a header line (module tag, time, process
// column, source file and line, class column, text), a blank line, the start
// of a structural error report, or a line without a header. No platform calls.
#pragma once

#include <cstdint>
#include <string_view>

#include "trace/core/line_columns.h"

namespace vr::vrclog {

// The kinds of trace line. Plain is a header line without a class column
// (a message sent to the debug log with no class bit).
enum class LineClass : uint8_t { Rel, Trc, Dbg, Entry, Error, Plain };
inline constexpr int kLineClassCount = 6;

enum class LineShape : uint8_t {
    Header,  // a complete header: the fields of LineHeader are set
    Blank,  // nothing but a line end
    DebugError,  // no header, starts "DEBUG ERROR": a structural error report
    Text,  // no header: the next line of a multi-line text, or debris
    BrokenHeader  // starts like a header (tag and time) but the rest does not fit
};

inline constexpr std::size_t kTimeLength = trace::kTimeWidth;  // "yyyy-mm-dd hh:mm:ss.mmm"
inline constexpr std::size_t kMaxModuleTag = 32;
// An executable base name fits in MAX_PATH; a longer search for the end of the
// process column only wastes time on a line that is not a header.
inline constexpr std::size_t kMaxProcessColumn = 300;

struct LineHeader {
    std::string_view moduleTag;
    std::string_view time;  // always kTimeLength characters
    std::string_view processName;  // executable base name; may hold blanks and digits, may be empty
    uint32_t processId = 0;
    uint32_t threadId = 0;
    bool hexadecimalIds = false;  // the column was written as " 0x%08X 0x%08X"
    std::string_view sourceFile;
    int32_t sourceLine = 0;
    LineClass lineClass = LineClass::Plain;
    int32_t level = 0;  // entry and TRC lines: 1 for the outermost function
    int32_t count = 1;  // entry lines: calls folded into the line; TRC lines: repeats
    // The function name of an entry line; the message after the class column
    // (and the dots of a TRC line) otherwise. Without the line end.
    std::string_view text;
};

struct ParsedLine {
    LineShape shape = LineShape::Text;
    LineHeader header;  // meaningful for LineShape::Header only
};

// Reads one physical line, with or without its "\n" or "\r\n". The views of
// the result point into line.
ParsedLine parseLine(std::string_view line) noexcept;

// The reading of line as a header whose process column ends columnEnd
// characters behind the blank after the time (a Header only if the rest of the
// header fits there; the first such end from the left is the one parseLine
// finds, by the layout, without trying each).
ParsedLine parseLineWithColumnEnd(std::string_view line, std::size_t columnEnd) noexcept;

// The line without its trailing "\n", "\r\n" or "\r".
std::string_view withoutLineEnd(std::string_view line) noexcept;

// "REL", "TRC", "DBG", "ENTRY", "ERROR" or "TEXT".
std::string_view lineClassName(LineClass lineClass) noexcept;

}  // namespace vr::vrclog
