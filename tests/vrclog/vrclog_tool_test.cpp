// vrclog.exe as its users run it: a separate process reading the captured
// logs, its output read through a pipe and its exit code checked.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

using ::testing::HasSubstr;

namespace {

struct ToolRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string out;
    std::string err;
};

std::wstring widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::wstring dataPath(const char* name)
{
    return L"\"Z:" + widen(std::string(VR_SOURCE_DIR) + "/tests/vrclog/data/" + name) + L"\"";
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

ToolRun vrclog(const std::wstring& arguments)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE outRead, outWrite, errRead, errWrite;
    EXPECT_TRUE(CreatePipe(&outRead, &outWrite, &inherit, 0));
    EXPECT_TRUE(CreatePipe(&errRead, &errWrite, &inherit, 0));
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    std::wstring commandLine = L"\"Z:" + widen(VR_BIN_DIR "/vrclog.exe") + L"\" " + arguments;
    PROCESS_INFORMATION process{};
    ToolRun run;
    const BOOL started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                        nullptr, nullptr, &startup, &process);
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    EXPECT_TRUE(started) << GetLastError();
    if (started) {
        run.out = drain(outRead);
        run.err = drain(errRead);
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &run.exitCode);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    CloseHandle(outRead);
    CloseHandle(errRead);
    return run;
}

TEST(VrclogTool, LinesKeepTheLogsBytesAndLineEnds)
{
    const ToolRun run = vrclog(L"lines --class REL --pid 308 " + dataPath("VRCDRV62.LOG"));
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    // No text-mode translation: CR LF stays CR LF, a bare LF stays bare.
    EXPECT_THAT(run.out, HasSubstr("REL    configuration:\n  queue=Main Office\n  copies=2\r\n"));
    EXPECT_EQ(run.out.find("\r\r\n"), std::string::npos);
}

TEST(VrclogTool, SummaryOfABackupAndItsLog)
{
    const ToolRun run = vrclog(L"summary " + dataPath("rotated/VRCDBG62.BAK") + L" " + dataPath("rotated/VRCDBG62.LOG"));
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_THAT(run.out, HasSubstr("       200  Recurse\n"));
    EXPECT_THAT(run.out, HasSubstr("DEBUG ERROR: Function level count below 0."));
}

TEST(VrclogTool, ExitCodesAndMessages)
{
    EXPECT_EQ(vrclog(L"lines --pid 999 " + dataPath("VRCDBG62.LOG")).exitCode, 1u);
    const ToolRun bad = vrclog(L"lines --class WARN " + dataPath("VRCDBG62.LOG"));
    EXPECT_EQ(bad.exitCode, 2u);
    EXPECT_THAT(bad.err, HasSubstr("vrclog: --class takes"));
    const ToolRun missing = vrclog(L"tree " + dataPath("nothing.LOG"));
    EXPECT_EQ(missing.exitCode, 3u);
    EXPECT_THAT(missing.err, HasSubstr("vrclog: cannot read '"));
    const ToolRun help = vrclog(L"--help");
    EXPECT_EQ(help.exitCode, 0u);
    EXPECT_THAT(help.out, HasSubstr("vrclog perfetto -o FILE"));
}

}  // namespace
