// Helpers of the tracing tests: where the logs are, reading them back, the
// contexts the tracer keeps, capturing the debugger output and the error box,
// starting helper programs.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "scratch_folder.h"  // fileExists
#include "shared_file.h"  // setFileSize

namespace vr::test {

std::wstring logFolder();
std::wstring debugLogPath();
std::wstring driverLogPath();
std::wstring tempPath(const wchar_t* name);

// Lines without their line ends ("\r\n", "\n" or "\r\n" of an error text).
std::vector<std::string> readLines(const std::wstring& path);
void removeFile(const std::wstring& path);
void removeLogs();
LONGLONG fileSize(const std::wstring& path);

// The header a line of this thread carries up to the source line, with the
// time replaced by "@" (see withoutTime).
std::string expectedHeader(const char* sourceBase, int sourceLine);
// Replaces the 23-character time of a trace line by "@" after checking its form.
std::string withoutTime(const std::string& line);

// Whether the tracer's list of thread contexts holds one for the thread.
bool contextLinkedFor(DWORD threadId);

void setDriverLogFile(const std::wstring& path);
void clearDriverLogFile();

// Debugger output of the calling thread while the capture lives.
class DebugOutputCapture {
public:
    DebugOutputCapture();
    ~DebugOutputCapture();
    std::vector<std::string> texts() const;

private:
    void* handler_;
};

// Error box texts while the capture lives; the box itself is not shown.
class ErrorBoxCapture {
public:
    ErrorBoxCapture();
    ~ErrorBoxCapture();
    static std::vector<std::string>& texts();
};

// Runs a helper program of the tests folder; returns its process handle.
HANDLE startHelper(const std::wstring& arguments);
// The exit code (kNeverEnded when the wait ran out); closes the handle.
DWORD waitForExit(HANDLE process, DWORD milliseconds);

}  // namespace vr::test
