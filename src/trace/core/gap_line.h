// The line a log gets where lines are missing from it: written ahead of the
// first batch that gets into the log after lines could not be written there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vr::trace {

// What marks a gap line's text, for the readers of the logs too: the text
// starts with the first and holds the second.
inline constexpr std::string_view kGapLineStart = "TRACE ERROR: ";
inline constexpr std::string_view kGapLineMarker = " could not be written to this log: ";

// Why lines could not be written to a log.
enum class LossCause : uint8_t { Held, DiskFull, WriteFailed, SecondName };

// The cause in the log's own words, to end "... could not be written to this log: ".
const char* lossCauseText(LossCause cause) noexcept;

// What a gap line says, besides the header every line carries.
struct GapLine {
    const char* moduleTag;
    const char* timestamp;
    const char* processColumn;
    const char* sourceFile;
    int sourceLine;
    unsigned long lost;
    LossCause cause;
};

// A release line "TRACE ERROR: <n> lines could not be written to this log:
// <cause>." in the log's format, ended by "\r\n"; returns its length, 0 when
// it does not fit.
std::size_t formatGapLine(char* destination, std::size_t capacity, const GapLine& gap) noexcept;

// What the message of a gap line says.
struct GapText {
    unsigned long lost = 0;
    LossCause cause = LossCause::Held;
};

// Reads the message of a release line (after its class column, without its
// line end) as formatGapLine writes it, and nothing else: a component's own
// text that only starts the same way, or that holds more, is no gap line.
bool parseGapText(std::string_view message, GapText& gap) noexcept;

}  // namespace vr::trace
