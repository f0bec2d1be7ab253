// vrcmsg.exe as its users run it: a separate process beside the built library,
// its output read through a pipe (UTF-8) and its exit code checked.
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

std::wstring toolPath()
{
    wchar_t found[MAX_PATH];
    if (SearchPathW(nullptr, L"vrcmsg.exe", nullptr, MAX_PATH, found, nullptr)) return found;
    std::string unixPath = VR_BIN_DIR "/vrcmsg.exe";
    return L"Z:" + std::wstring(unixPath.begin(), unixPath.end());
}

std::string drain(HANDLE pipe)
{
    std::string data;
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(pipe, chunk, sizeof chunk, &read, nullptr) && read > 0) data.append(chunk, read);
    return data;
}

ToolRun vrcmsg(const std::wstring& arguments)
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
    std::wstring commandLine = L"\"" + toolPath() + L"\" " + arguments;
    PROCESS_INFORMATION process{};
    ToolRun run;
    const BOOL started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                        nullptr, nullptr, &startup, &process);
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    EXPECT_TRUE(started) << GetLastError();
    if (started) {
        // stderr is short; read stdout to its end first so a long listing never blocks.
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

int lineCount(const std::string& text)
{
    int lines = 0;
    for (char c : text) lines += c == '\n';
    return lines;
}

}  // namespace

TEST(Vrcmsg, FormatsByIdentifierWithInserts)
{
    const ToolRun run = vrcmsg(L"0xAFF203EC report.tmp");
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(run.out, "VRC1004: Print Failed... Unable to create file report.tmp.\r\n");

    const ToolRun numbers = vrcmsg(L"0xAFF11BBE -5 \"Access denied.\" \"C:\\app.exe /p\"");
    EXPECT_EQ(numbers.exitCode, 0u) << numbers.err;
    EXPECT_THAT(numbers.out, HasSubstr("System error code -5.\r\nAccess denied.\r\n"));
}

TEST(Vrcmsg, FindsByTextCodeWhereverTheCodeFieldDiffers)
{
    const ToolRun plain = vrcmsg(L"VRC4501");
    EXPECT_EQ(plain.exitCode, 0u) << plain.err;
    EXPECT_EQ(plain.out, "VRC4501: The service is temporarily unavailable - error in API parameters.\r\n");
    EXPECT_EQ(vrcmsg(L"vrc1180 9000 8000").out,
              "VRC1180: Print Failed...\r\nOutput Width of 9000 exceeds limit of 8000.\r\n"
              "Please reduce paper size or DPI.\r\n");
    EXPECT_THAT(vrcmsg(L"VRC5224").out, ::testing::StartsWith("VRC5224:"));
    EXPECT_THAT(vrcmsg(L"ERR7100").out, ::testing::StartsWith("ERR7100: "));
}

TEST(Vrcmsg, UnknownMessagesExitWithOne)
{
    for (const wchar_t* unknown : {L"0xAFF203F1", L"VRC5223", L"VRC9999"}) {
        const ToolRun run = vrcmsg(unknown);
        EXPECT_EQ(run.exitCode, 1u) << std::string(unknown, unknown + wcslen(unknown));
        EXPECT_TRUE(run.out.empty());
        EXPECT_THAT(run.err, HasSubstr("no message"));
    }
}

TEST(Vrcmsg, InsertsThatDoNotFitExitWithTwo)
{
    const ToolRun missing = vrcmsg(L"0xAFFC1B76 onlyone");
    EXPECT_EQ(missing.exitCode, 2u);
    EXPECT_THAT(missing.err, HasSubstr("%2 is missing"));
    const ToolRun notNumber = vrcmsg(L"0x2FF11F9D five");
    EXPECT_EQ(notNumber.exitCode, 2u);
    EXPECT_THAT(notNumber.err, HasSubstr("must be a 32-bit number"));
    EXPECT_EQ(vrcmsg(L"0xAFF10001 spare").exitCode, 2u);
    EXPECT_EQ(vrcmsg(L"").exitCode, 2u);
    EXPECT_EQ(vrcmsg(L"printer").exitCode, 2u);
}

TEST(Vrcmsg, ListsAndSearches)
{
    const ToolRun list = vrcmsg(L"--list");
    EXPECT_EQ(list.exitCode, 0u);
    EXPECT_EQ(lineCount(list.out), 672);
    // Piped output is UTF-8: the copyright sign arrives as C2 A9.
    EXPECT_THAT(list.out, HasSubstr("0x2FF128A2  success      0xFF1 interface texts"));
    EXPECT_THAT(list.out, HasSubstr("\xC2\xA9 "));

    const ToolRun found = vrcmsg(L"--search \"temporarily unavailable\"");
    EXPECT_EQ(found.exitCode, 0u);
    EXPECT_GT(lineCount(found.out), 10);
    EXPECT_THAT(found.out, HasSubstr("0xAFF71195  warning      0xFF7 print service errors"));

    const ToolRun none = vrcmsg(L"--search \"no such words here\"");
    EXPECT_EQ(none.exitCode, 1u);
    EXPECT_TRUE(none.out.empty());
}
