// Other programs started by the tests: the product's programs and the tests'
// helper programs, with their exit codes and, where asked, their output.
#pragma once

#include <windows.h>

#include <string>

#include "platform/handles.h"

namespace vr::test {

struct StartedProgram {
    UniqueHandle process;  // null when the program did not start
    DWORD processId = 0;
};

struct ProgramStart {
    DWORD creationFlags = 0;
    const wchar_t* workingFolder = nullptr;  // null: the tests' own
};

// Starts `program` with the command line "<program>" <arguments>.
StartedProgram startProgram(const std::wstring& program, const std::wstring& arguments, const ProgramStart& start = {});

// What waitForExitCode gives for a program that outlived the wait (it is then ended).
inline constexpr DWORD kNeverEnded = 0xDEAD;

DWORD waitForExitCode(HANDLE process, DWORD timeoutMs);

// Starts the program and waits for its end: its exit code, or -1 when it did
// not start or did not end in time.
long runProgram(const std::wstring& program, const std::wstring& arguments, DWORD timeoutMs = 30000);

struct ProgramOutput {
    DWORD exitCode = 0xFFFFFFFF;  // unchanged when the program did not start
    std::string out;
    std::string err;
};

// Runs the program to its end with its standard output and error read
// through pipes, and no window.
ProgramOutput runCapturingOutput(const std::wstring& program, const std::wstring& arguments);

// A program that runs on while its standard output is read through a pipe
// (its standard error goes to the same pipe); ended, if it still runs, when
// this is destroyed, so that a failed test leaves nothing running.
struct OutputtingProgram {
    StartedProgram started;
    UniqueHandle out;  // the pipe's reading end

    OutputtingProgram() = default;
    OutputtingProgram(OutputtingProgram&&) = default;
    OutputtingProgram& operator=(OutputtingProgram&&) = delete;
    ~OutputtingProgram();
};
OutputtingProgram startCapturingOutput(const std::wstring& program, const std::wstring& arguments);

// Reads what the program writes, appending it to text, until text holds
// `until` (empty: until the output ends) or timeoutMs have passed; whether
// it came.
bool readOutputUntil(const OutputtingProgram& program, std::string& text, const std::string& until, DWORD timeoutMs);

}  // namespace vr::test
