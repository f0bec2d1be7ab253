// vrclog.exe as its users run it: a separate process reading the captured
// logs, its output read through a pipe and its exit code checked.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "child_program.h"
#include "wine_paths.h"

using ::testing::HasSubstr;

namespace {

using ToolRun = vr::test::ProgramOutput;

std::wstring dataPath(const char* name)
{
    return L"\"" + vr::test::windowsPath(std::string(VR_SOURCE_DIR) + "/tests/vrclog/data/" + name) + L"\"";
}

ToolRun vrclog(const std::wstring& arguments)
{
    return vr::test::runCapturingOutput(vr::test::windowsPath(VR_BIN_DIR "/vrclog.exe"), arguments);
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
    const ToolRun run =
        vrclog(L"summary " + dataPath("rotated/VRCDBG62.BAK") + L" " + dataPath("rotated/VRCDBG62.LOG"));
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
