// The tests' helper programs, built beside them: where they are, running
// them, waiting for them.
#pragma once

#include <windows.h>

#include <string>

#include "child_program.h"
#include "wine_paths.h"

namespace vr::test {

inline std::wstring helperPath(const wchar_t* program = L"system_helper.exe")
{
    return windowsPath(VR_TEST_DIR) + L"\\" + program;
}

// Runs the system objects' helper to its end: its exit code, -1 when it did
// not start or end.
inline long runHelper(const std::wstring& arguments) { return runProgram(helperPath(), arguments); }

// Starts the tracer's helper; its process handle.
inline HANDLE startHelper(const std::wstring& arguments)
{
    return startProgram(helperPath(L"trace_helper.exe"), arguments).process.release();
}

// The exit code (kNeverEnded when the wait ran out); closes the handle.
inline DWORD waitForExit(HANDLE process, DWORD milliseconds)
{
    const UniqueHandle owned(process);
    return waitForExitCode(owned.get(), milliseconds);
}

}  // namespace vr::test
