// The command line: where the silent switch is found, what becomes the
// configuration file name, and the exit code of each way a run can end.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "core_fakes.h"
#include "file_bytes.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

struct Parsed {
    int result;
    int silent;
    std::string name;
    std::vector<std::string> messages;
};

Parsed Parse(std::string commandLine)
{
    ResetCore();
    const int result = ParseCommandLine(commandLine.data());
    return {result, SilentMode, ConfigFileName, gFakes.Texts()};
}

TEST(ParseCommandLine, FindsTheSilentSwitch)
{
    struct Case {
        const char* line;
        int silent;
        const char* name;
    };
    const Case cases[] = {
        {"/s setup.cfg", 1, "setup.cfg"},
        {"/Ssetup.cfg", 1, "setup.cfg"},
        // Inside a path written with forward slashes, only what follows "/s" counts.
        {"C:/drivers/setup.cfg", 1, "etup.cfg"},
        // "/s" wins over an earlier "/S".
        {"/Sfirst /ssecond", 1, "second"},
        // "-s" as the usage message writes it: a whole first word.
        {"-s setup.cfg", 1, "setup.cfg"},
        {"-S   setup.cfg other", 1, "setup.cfg"},
        {"  -s setup.cfg", 1, "setup.cfg"},
        {"-s C:/drivers/setup.cfg", 1, "C:/drivers/setup.cfg"},
        // Joined to more text, or not first, "-s" is a name as it always was.
        {"-ssetup.cfg", 0, "-ssetup.cfg"},
        {"-s\tsetup.cfg", 0, "-s\tsetup.cfg"},
        {"--s setup.cfg", 0, "--s"},
        {"setup.cfg -s", 0, "setup.cfg"},
        {"-x -s setup.cfg", 0, "-x"},
    };
    for (const Case& entry : cases) {
        const Parsed parsed = Parse(entry.line);
        EXPECT_EQ(parsed.result, 1) << entry.line;
        EXPECT_EQ(parsed.silent, entry.silent) << entry.line;
        EXPECT_EQ(parsed.name, entry.name) << entry.line;
        EXPECT_THAT(parsed.messages, IsEmpty()) << entry.line;
    }
}

TEST(ParseCommandLine, TakesTheFirstSpaceSeparatedTokenAsItStands)
{
    EXPECT_EQ(Parse("\"My Driver.cfg\"").name, "\"My");
    EXPECT_EQ(Parse("   a\tb.cfg  other").name, "a\tb.cfg");

    std::string line = "setup.cfg rest";
    ResetCore();
    ASSERT_EQ(ParseCommandLine(line.data()), 1);
    EXPECT_EQ(std::string(line.c_str()), "setup.cfg");  // split in place
}

TEST(ParseCommandLine, ShowsUsageWhenNoNameFits)
{
    const std::string usage = "Usage: Kelvane.exe [-s] <config file name>";

    Parsed blanks = Parse("    ");
    EXPECT_EQ(blanks.result, 0);
    EXPECT_THAT(blanks.messages, ElementsAre(usage));

    // A file name before the switch leaves nothing after it.
    Parsed after = Parse("setup.cfg /s");
    EXPECT_EQ(after.result, 0);
    EXPECT_EQ(after.silent, 1);
    ASSERT_EQ(gFakes.shown.size(), 1u);
    EXPECT_TRUE(gFakes.shown[0].silent);
    Parsed dashAlone = Parse("-S");
    EXPECT_EQ(dashAlone.result, 0);
    EXPECT_EQ(dashAlone.silent, 1);

    Parsed longest = Parse(std::string(259, 'n'));
    EXPECT_EQ(longest.result, 1);
    EXPECT_EQ(longest.name.size(), 259u);

    Parsed tooLong = Parse("/s " + std::string(260, 'n'));
    EXPECT_EQ(tooLong.result, 0);
    EXPECT_THAT(tooLong.messages, ElementsAre(usage));
    EXPECT_EQ(std::string(ConfigFileName), "");
}

class RunKelvaneTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetCore();
        directory_ = std::filesystem::temp_directory_path() /
                     ("kelvane-run-" + std::to_string(reinterpret_cast<std::uintptr_t>(this)));
        std::filesystem::create_directories(directory_);
    }
    void TearDown() override { std::filesystem::remove_all(directory_); }

    std::string WriteConfig(const std::string& text)
    {
        const std::filesystem::path path = directory_ / "kelvane.cfg";
        EXPECT_TRUE(vr::test::writeFileBytes(path, text));
        return path.string();
    }

    int Run(std::string tail)
    {
        ResetCore();
        return RunKelvane(tail.data());
    }

    std::filesystem::path directory_;
};

TEST_F(RunKelvaneTest, EndsWithZeroWhenNothingWasRead)
{
    EXPECT_EQ(Run(""), 0);
    EXPECT_THAT(gFakes.shown, IsEmpty());

    EXPECT_EQ(Run("/s"), 0);

    const std::string missing = (directory_ / "missing.cfg").string();
    EXPECT_EQ(Run(missing), 0);
    EXPECT_THAT(gFakes.Texts(), ElementsAre("cannot open config file: " + missing + "\n", "ReadConfig() error."));
    EXPECT_EQ(gFakes.installCalls, 0);

    EXPECT_EQ(Run("-s " + missing), 0);
    EXPECT_EQ(gFakes.Texts().front(), "cannot open config file: " + missing + "\n");
    EXPECT_TRUE(gFakes.shown.front().silent);
}

TEST_F(RunKelvaneTest, InstallsOnlyForTheX64PlatformInAnyLetterCase)
{
    const std::string accepted = WriteConfig("#platform\nwINDOWS X64\n");
    gFakes.installResult = 1;
    EXPECT_EQ(Run("/s " + accepted), 1);
    EXPECT_EQ(gFakes.installCalls, 1);

    const std::string message =
        "This printer driver is for 64-bit versions of Windows. Your OS is 32-bit. Installation failed.";
    const std::string other = WriteConfig("#platform\nWindows NT x86\n");
    EXPECT_EQ(Run(other), 2);
    EXPECT_EQ(gFakes.installCalls, 0);
    EXPECT_THAT(gFakes.Texts(), ElementsAre(message));

    const std::string none = WriteConfig("#driver name\nNo Platform\n");
    EXPECT_EQ(Run(none), 2);
    EXPECT_THAT(gFakes.Texts(), ElementsAre(message));
}

TEST_F(RunKelvaneTest, AFailedInstallationIsNotReportedAsSuccess)
{
    const std::string config = WriteConfig("#platform\nWindows x64\n");
    ResetCore();
    gFakes.installResult = 0;
    char tail[300];
    std::snprintf(tail, sizeof tail, "%s", config.c_str());
    EXPECT_EQ(RunKelvane(tail), 2);
    EXPECT_EQ(gFakes.installCalls, 1);
}

TEST_F(RunKelvaneTest, StopsBeforeInstallingWhenTheFileListCannotBeAllocated)
{
    const std::string config = WriteConfig("#platform\nWindows x64\n#dependent file\na.dll\n");
    ResetCore();
    gFakes.failFirstAllocation = true;
    std::string tail = config;
    EXPECT_EQ(RunKelvane(tail.data()), 2);
    EXPECT_THAT(gFakes.Texts(), ElementsAre("Memory allocation for dependent files failed"));
    EXPECT_EQ(gFakes.installCalls, 0);

    std::string many = "#platform\nWindows x64\n#dependent file\n";
    for (int i = 0; i < 300; ++i)
        many += "file" + std::to_string(i) + ".dll\n";
    const std::string big = WriteConfig(many);
    ResetCore();
    gFakes.growthsBeforeFailure = 0;
    tail = big;
    EXPECT_EQ(RunKelvane(tail.data()), 2);
    EXPECT_THAT(gFakes.Texts(), ElementsAre("Memory reallocation failed"));
    EXPECT_EQ(gFakes.installCalls, 0);
}

}  // namespace
