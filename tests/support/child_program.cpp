#include "child_program.h"

namespace vr::test {

namespace {

StartedProgram startWith(const std::wstring& program, const std::wstring& arguments, DWORD creationFlags,
                         const wchar_t* workingFolder, STARTUPINFOW& startup, bool inheritHandles)
{
    std::wstring commandLine = L"\"" + program + L"\"";
    if (!arguments.empty())
        commandLine += L" " + arguments;
    PROCESS_INFORMATION process{};
    StartedProgram started;
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, inheritHandles, creationFlags, nullptr,
                        workingFolder, &startup, &process))
        return started;
    UniqueHandle thread(process.hThread);
    started.process.reset(process.hProcess);
    started.processId = process.dwProcessId;
    return started;
}

std::string drain(HANDLE pipe)
{
    std::string data;
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(pipe, chunk, sizeof chunk, &read, nullptr) && read > 0)
        data.append(chunk, read);
    return data;
}

}  // namespace

StartedProgram startProgram(const std::wstring& program, const std::wstring& arguments, const ProgramStart& start)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    return startWith(program, arguments, start.creationFlags, start.workingFolder, startup, false);
}

DWORD waitForExitCode(HANDLE process, DWORD timeoutMs)
{
    DWORD code = kNeverEnded;
    if (WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process, &code);
    else
        TerminateProcess(process, kNeverEnded);
    return code;
}

long runProgram(const std::wstring& program, const std::wstring& arguments, DWORD timeoutMs)
{
    const StartedProgram started = startProgram(program, arguments);
    if (!started.process)
        return -1;
    DWORD code = 0;
    if (WaitForSingleObject(started.process.get(), timeoutMs) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(started.process.get(), &code)) {
        TerminateProcess(started.process.get(), kNeverEnded);
        return -1;
    }
    return static_cast<long>(code);
}

ProgramOutput runCapturingOutput(const std::wstring& program, const std::wstring& arguments)
{
    ProgramOutput run;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    UniqueHandle outRead, outWrite, errRead, errWrite;
    {
        HANDLE read = nullptr, write = nullptr;
        if (!CreatePipe(&read, &write, &inherit, 0))
            return run;
        outRead.reset(read);
        outWrite.reset(write);
        if (!CreatePipe(&read, &write, &inherit, 0))
            return run;
        errRead.reset(read);
        errWrite.reset(write);
    }
    // Only the writing ends go to the child; the reading ends stay here.
    SetHandleInformation(outRead.get(), HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead.get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = outWrite.get();
    startup.hStdError = errWrite.get();
    const StartedProgram started = startWith(program, arguments, CREATE_NO_WINDOW, nullptr, startup, true);
    // The pipes end when the child's copies of the writing ends close.
    outWrite.reset();
    errWrite.reset();
    if (!started.process)
        return run;
    // stderr is short; read stdout to its end first so a long listing never blocks.
    run.out = drain(outRead.get());
    run.err = drain(errRead.get());
    WaitForSingleObject(started.process.get(), INFINITE);
    GetExitCodeProcess(started.process.get(), &run.exitCode);
    return run;
}

OutputtingProgram::~OutputtingProgram()
{
    if (started.process)
        TerminateProcess(started.process.get(), kNeverEnded);
}

OutputtingProgram startCapturingOutput(const std::wstring& program, const std::wstring& arguments)
{
    OutputtingProgram running;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    if (!CreatePipe(&read, &write, &inherit, 0))
        return running;
    running.out.reset(read);
    const UniqueHandle writeEnd(write);
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = write;
    startup.hStdError = write;
    running.started = startWith(program, arguments, CREATE_NO_WINDOW, nullptr, startup, true);
    return running;
}

bool readOutputUntil(const OutputtingProgram& program, std::string& text, const std::string& until, DWORD timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (until.empty() || text.find(until) == std::string::npos) {
        DWORD available = 0;
        if (!PeekNamedPipe(program.out.get(), nullptr, 0, nullptr, &available, nullptr))
            return false;  // the program has ended and its output is all read
        if (available == 0) {
            if (GetTickCount64() >= deadline)
                return false;
            Sleep(10);
            continue;
        }
        std::string chunk(available, '\0');
        DWORD read = 0;
        if (!ReadFile(program.out.get(), chunk.data(), available, &read, nullptr))
            return false;
        text.append(chunk, 0, read);
    }
    return true;
}

}  // namespace vr::test
