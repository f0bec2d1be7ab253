// What the tracer's lines and logs should hold, worked out without the
// tracer's own formatting, and the folders its rules give at this moment.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace vr::test::trace {

// "<exe base name> <pid> <tid>" of the calling thread, as a line shows it.
std::string processColumnOfThisThread();
// A line's header up to the source line, with the time as "@".
std::string headerOf(const char* sourceBase, int sourceLine);
// The line with its 23-character time replaced by "@", or a marked line when
// the time is not where it belongs.
std::string timeless(const std::string& line);

// Lines without their "\r\n".
std::vector<std::string> fileLines(const std::wstring& path);
bool exists(const std::wstring& path);

// The log folder the folder routines give now: the server log folder, else
// the data folder; empty when neither gives one.
std::wstring currentLogFolder();

}  // namespace vr::test::trace
