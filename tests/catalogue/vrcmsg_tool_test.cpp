// vrcmsg.exe as its users run it: a separate process beside the built library,
// its output read through a pipe (UTF-8) and its exit code checked.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "child_program.h"
#include "wine_paths.h"

using ::testing::HasSubstr;

namespace {

using vr::test::ProgramOutput;

std::wstring toolPath()
{
    wchar_t found[MAX_PATH];
    if (SearchPathW(nullptr, L"vrcmsg.exe", nullptr, MAX_PATH, found, nullptr))
        return found;
    return vr::test::windowsPath(VR_BIN_DIR "/vrcmsg.exe");
}

ProgramOutput vrcmsg(const std::wstring& arguments)
{
    ProgramOutput run = vr::test::runCapturingOutput(toolPath(), arguments);
    EXPECT_NE(run.exitCode, 0xFFFFFFFFu) << "vrcmsg.exe did not start";
    return run;
}

int lineCount(const std::string& text)
{
    int lines = 0;
    for (char c : text)
        lines += c == '\n';
    return lines;
}

}  // namespace

TEST(Vrcmsg, FormatsByIdentifierWithInserts)
{
    const ProgramOutput run = vrcmsg(L"0xAFF203EC report.tmp");
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(run.out, "VRC1004: Print Failed... Unable to create file report.tmp.\r\n");

    const ProgramOutput numbers = vrcmsg(L"0xAFF11BBE -5 \"Access denied.\" \"C:\\app.exe /p\"");
    EXPECT_EQ(numbers.exitCode, 0u) << numbers.err;
    EXPECT_THAT(numbers.out, HasSubstr("System error code -5.\r\nAccess denied.\r\n"));
}

TEST(Vrcmsg, FindsByTextCodeWhereverTheCodeFieldDiffers)
{
    const ProgramOutput plain = vrcmsg(L"VRC4501");
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
        const ProgramOutput run = vrcmsg(unknown);
        EXPECT_EQ(run.exitCode, 1u) << std::string(unknown, unknown + wcslen(unknown));
        EXPECT_TRUE(run.out.empty());
        EXPECT_THAT(run.err, HasSubstr("no message"));
    }
}

TEST(Vrcmsg, InsertsThatDoNotFitExitWithTwo)
{
    const ProgramOutput missing = vrcmsg(L"0xAFFC1B76 onlyone");
    EXPECT_EQ(missing.exitCode, 2u);
    EXPECT_THAT(missing.err, HasSubstr("%2 is missing"));
    const ProgramOutput notNumber = vrcmsg(L"0x2FF11F9D five");
    EXPECT_EQ(notNumber.exitCode, 2u);
    EXPECT_THAT(notNumber.err, HasSubstr("must be a 32-bit number"));
    EXPECT_EQ(vrcmsg(L"0xAFF10001 spare").exitCode, 2u);
    EXPECT_EQ(vrcmsg(L"").exitCode, 2u);
    EXPECT_EQ(vrcmsg(L"printer").exitCode, 2u);
}

TEST(Vrcmsg, ListsAndSearches)
{
    const ProgramOutput list = vrcmsg(L"--list");
    EXPECT_EQ(list.exitCode, 0u);
    EXPECT_EQ(lineCount(list.out), 672);
    // Piped output is UTF-8: the copyright sign arrives as C2 A9.
    EXPECT_THAT(list.out, HasSubstr("0x2FF128A2  success      0xFF1 interface texts"));
    EXPECT_THAT(list.out, HasSubstr("\xC2\xA9 "));

    const ProgramOutput found = vrcmsg(L"--search \"temporarily unavailable\"");
    EXPECT_EQ(found.exitCode, 0u);
    EXPECT_GT(lineCount(found.out), 10);
    EXPECT_THAT(found.out, HasSubstr("0xAFF71195  warning      0xFF7 print service errors"));

    const ProgramOutput none = vrcmsg(L"--search \"no such words here\"");
    EXPECT_EQ(none.exitCode, 1u);
    EXPECT_TRUE(none.out.empty());
}
