// The reading parseLine must give, found the slow way: every end of the
// process column tried from the left, the first that the rest of the header
// fits behind. For the tests and the fuzzer that hold parseLine's quick
// search against it.
#pragma once

#include <string_view>

#include "log_line.h"

namespace vr::vrclog::testing {

inline ParsedLine parseLineByEveryColumnEnd(std::string_view line) noexcept
{
    ParsedLine parsed = parseLineWithColumnEnd(line, 1);
    for (std::size_t end = 2; parsed.shape == LineShape::BrokenHeader && end <= kMaxProcessColumn; ++end)
        parsed = parseLineWithColumnEnd(line, end);
    return parsed;
}

}  // namespace vr::vrclog::testing
