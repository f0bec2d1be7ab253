// Trace log lines read back and what they should hold, worked out without the
// tracer's own formatting.
#pragma once

#include <string>
#include <vector>

namespace vr::test {

// Lines without their line ends ("\r\n", "\n" or "\r\n" of an error text).
std::vector<std::string> readLines(const std::wstring& path);

// A line's header of this thread up to the source line, with the time as "@"
// (see timeless).
std::string headerOf(const char* sourceBase, int sourceLine);
// The line with its 23-character time replaced by "@", or a marked line when
// the time is not where it belongs.
std::string timeless(const std::string& line);
// Each line timeless; the empty lines between entries stay empty.
std::vector<std::string> timeless(const std::vector<std::string>& lines);

}  // namespace vr::test
