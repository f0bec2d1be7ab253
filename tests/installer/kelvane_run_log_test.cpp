// Kelvane's run log: with KELVANE_LOG set, each run appends the messages it
// shows (or in silent mode would have shown) and its exit code; without it,
// or with a log that cannot be opened, the run is what it always was.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "kelvane_harness.h"

namespace {

using namespace vr::test;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::string RejectedPlatformConfig(const std::string& driverName)
{
    return "#driver name\n" + driverName +
           "\n#platform\nWindows NT x86\n#driver dir\n\n#driver file\nkvtest.dll\n#data file\nkvtest.gpd\n"
           "#default data type\nRAW\n#dependent file\n";
}

constexpr char kRejectedText[] =
    "This printer driver is for 64-bit versions of Windows. Your OS is 32-bit. Installation failed.";

// The log's lines with their "yyyy-mm-dd hh:mm:ss.mmm " stamp checked and taken off.
std::vector<std::string> UnstampedLines(const std::string& log)
{
    static const std::regex stamp(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )");
    std::vector<std::string> lines;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);) {
        EXPECT_FALSE(line.empty() || line.back() != '\r') << "every line ends in CR LF: " << line;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        EXPECT_TRUE(std::regex_search(line, stamp)) << line;
        lines.push_back(std::regex_replace(line, stamp, ""));
    }
    return lines;
}

// Sets KELVANE_LOG for the programs this test starts, and clears it afterwards.
class RunLogVariable {
public:
    explicit RunLogVariable(const std::string& path) { SetEnvironmentVariableA("KELVANE_LOG", path.c_str()); }
    ~RunLogVariable() { SetEnvironmentVariableA("KELVANE_LOG", nullptr); }
};

TEST(KelvaneRunLog, SilentFailureLeavesTheMessageAndTheExitCode)
{
    ScratchFolder work("kelvane");
    work.write("kelvane.cfg", RejectedPlatformConfig(uniqueName("Kelvane Log ")));
    const std::string log = work.narrowPath() + "\\run.log";
    RunLogVariable variable(log);

    KelvaneRun run = startKelvaneAndAnswerBoxes(kelvanePath(), "/s kelvane.cfg", work.narrowPath());
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_THAT(run.boxes, IsEmpty());
    EXPECT_THAT(UnstampedLines(readFileBytes(log)), ElementsAre(std::string("Error: ") + kRejectedText, "exit code 2"));

    // A second run appends; a text's own line ends stay within its one line.
    run = startKelvaneAndAnswerBoxes(kelvanePath(), "/s missing.cfg", work.narrowPath());
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_THAT(UnstampedLines(readFileBytes(log)), ElementsAre(std::string("Error: ") + kRejectedText, "exit code 2",
                                                                "Error: cannot open config file: missing.cfg\\n",
                                                                "Error: ReadConfig() error.", "exit code 0"));
}

TEST(KelvaneRunLog, ShownBoxesAreLoggedWithTheirCaption)
{
    ScratchFolder work("kelvane");
    const std::string name = uniqueName("Kelvane Log ");
    work.write("kelvane.cfg", "#driver name\n" + name +
                                  "\n#platform\nWindows x64\n#driver dir\n\n#driver file\nkvtest.dll\n#data file\n"
                                  "kvtest.gpd\n#default data type\nRAW\n#dependent file\n");
    const std::string log = work.narrowPath() + "\\run.log";
    RunLogVariable variable(log);

    KelvaneRun run = startKelvaneAndAnswerBoxes(kelvanePath(), "kelvane.cfg", work.narrowPath());
    EXPECT_EQ(run.exitCode, 1u);
    ASSERT_FALSE(run.boxes.empty());
    std::vector<std::string> expected;
    for (const MessageBoxSeen& box : run.boxes)
        expected.push_back(box.caption + ": " + box.text);
    expected.push_back("exit code 1");
    EXPECT_EQ(UnstampedLines(readFileBytes(log)), expected);
}

TEST(KelvaneRunLog, ALogThatCannotBeOpenedChangesNothing)
{
    ScratchFolder work("kelvane");
    work.write("kelvane.cfg", RejectedPlatformConfig(uniqueName("Kelvane Log ")));
    RunLogVariable variable(work.narrowPath() + "\\no such folder\\run.log");

    KelvaneRun run = startKelvaneAndAnswerBoxes(kelvanePath(), "kelvane.cfg", work.narrowPath());
    EXPECT_EQ(run.exitCode, 2u);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text, kRejectedText);
}

}  // namespace
