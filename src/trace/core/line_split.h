// Line splitting of the trace file layer's text reader: the decisions on one
// block read from a file, kept apart from the file calls.
#pragma once

#include <cstddef>

namespace vr::trace::fio {

inline constexpr char kEndOfText = 0x1A;

struct LineSplit {
    bool hasLine;  // false: the caller's buffer is empty and the reader gives null
    std::size_t rewind;  // bytes to seek back from the end of the block read
};

// text holds length bytes read from the file followed by a terminator. Cuts the
// text at 0x1A and at the first line end (LF or CR; with both in the block,
// at the earlier one, taking a directly following LF or CR with it) and tells
// how far the file position must go back to stand just after what was used.
LineSplit splitLine(char* text, std::size_t length) noexcept;

}  // namespace vr::trace::fio
