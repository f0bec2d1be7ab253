// The columns that open every trace line, in the order they are written: the
// module tag, the time, the process column, the source file and its line
// number, then the class column ("REL    ", "TRCx2  ", "3(2)   ", ...) and the
// text. The log readers take the widths from here, so that a reader and the
// writer cannot come to disagree about where a column ends.
#pragma once

#include <cstddef>

namespace vr::trace {

inline constexpr std::size_t kModuleTagWidth = 7;  // left-aligned; a longer tag pushes the rest right
inline constexpr std::size_t kTimeWidth = 23;  // "yyyy-mm-dd hh:mm:ss.mmm", exactly this long
inline constexpr std::size_t kProcessColumnWidth = 20;  // left-aligned; a longer column pushes the rest right
inline constexpr std::size_t kSourceFileWidth = 25;  // right-aligned; a longer name fills its place
inline constexpr std::size_t kLineNumberWidth = 5;  // right-aligned, then one blank
inline constexpr std::size_t kClassColumnWidth = 7;  // left-aligned, the text follows without a blank

// Writes the columns up to the class column, "VRCCLN  2026-12-08 00:48:38.473
// spoolsv  308  320        corpus_writer.cpp   62 ", into destination (always
// ended by a zero when capacity > 0). Returns what snprintf returns: the
// length the header needs, or a negative value on failure.
int formatLineHeader(char* destination, std::size_t capacity, const char* moduleTag, const char* timestamp,
                     const char* processColumn, const char* sourceFile, int sourceLine) noexcept;

}  // namespace vr::trace
