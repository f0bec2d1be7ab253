// Kelvane's run log: with KELVANE_LOG set, each run appends the messages it
// shows (or in silent mode would have shown) and its exit code; without it,
// or with a log that cannot be opened, the run is what it always was.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <windows.h>
#include <winspool.h>

#include "file_bytes.h"
#include "installed_drivers.h"
#include "kelvane_runs.h"

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

TEST(KelvaneRunLog, SilentFailureLeavesTheMessageAndTheExitCode)
{
    ScratchFolder work("kelvane");
    work.write("kelvane.cfg", RejectedPlatformConfig(uniqueName("Kelvane Log ")));
    const std::string log = work.narrowPath() + "\\run.log";
    RunLogVariable variable(log);

    KelvaneRun run = startKelvaneAndAnswerBoxes(kelvanePath(), "/s kelvane.cfg", work.narrowPath());
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_THAT(run.boxes, IsEmpty());
    EXPECT_THAT(unstampedLines(readFileBytes(log)), ElementsAre(std::string("Error: ") + kRejectedText, "exit code 2"));

    // A second run appends; a text's own line ends stay within its one line.
    run = startKelvaneAndAnswerBoxes(kelvanePath(), "/s missing.cfg", work.narrowPath());
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_THAT(unstampedLines(readFileBytes(log)), ElementsAre(std::string("Error: ") + kRejectedText, "exit code 2",
                                                                "Error: cannot open config file: missing.cfg\\n",
                                                                "Error: ReadConfig() error.", "exit code 0"));
}

TEST(KelvaneRunLog, ShownBoxesAreLoggedWithTheirCaption)
{
    ScratchFolder work("kelvane");
    const std::string name = uniqueName("Kelvane Log ");
    writeTestDriverFiles(work);
    work.write("kelvane.cfg", "#driver name\n" + name +
                                  "\n#platform\nWindows x64\n#driver dir\n\n#driver file\nkvtest.dll\n#data file\n"
                                  "kvtest.gpd\n#default data type\nRAW\n#dependent file\nkvtest.dll\nkvtest.gpd\n");
    const std::string log = work.narrowPath() + "\\run.log";
    RunLogVariable variable(log);

    KelvaneRun run = startKelvaneAndAnswerBoxes(kelvanePath(), "kelvane.cfg", work.narrowPath());
    EXPECT_EQ(run.exitCode, 1u);
    ASSERT_FALSE(run.boxes.empty());
    std::vector<std::string> expected;
    for (const MessageBoxSeen& box : run.boxes)
        expected.push_back(box.caption + ": " + box.text);
    expected.push_back("exit code 1");
    EXPECT_EQ(unstampedLines(readFileBytes(log)), expected);
    EXPECT_TRUE(driverFilesArePlaced("Windows x64", name, kTestDriverFiles));
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

TEST(KelvaneRunLog, AnUnseenWindowStationRunsAsIfSilent)
{
    ScratchFolder work("kelvane");
    writeTestDriverFiles(work);
    const std::string name = uniqueName("Kelvane Station ");
    work.write("install.cfg", "#driver name\n" + name +
                                  "\n#platform\nWindows x64\n#driver file\nkvtest.dll\n#dependent file\nabsent.dll\n"
                                  "kvtest.dll\n");
    work.write("rejected.cfg", RejectedPlatformConfig(uniqueName("Kelvane Station ")));
    work.write("escaping.cfg", "#driver name\n" + name + "\n#platform\nWindows x64\n#dependent file\n..\\x.dll\n");
    const std::string log = work.narrowPath() + "\\run.log";
    RunLogVariable variable(log);
    for (const char* config : {"rejected.cfg", "escaping.cfg", "missing.cfg", "install.cfg"}) {
        DeletePrinterDriverA(nullptr, const_cast<char*>("Windows x64"), const_cast<char*>(name.c_str()));
        DeleteFileA(log.c_str());
        const KelvaneRun silent =
            startKelvaneAndAnswerBoxes(kelvanePath(), std::string("/s ") + config, work.narrowPath());
        const std::vector<std::string> silentLog = unstampedLines(readFileBytes(log));
        EXPECT_FALSE(silentLog.empty()) << config;
        // Nobody sees the station, or its session 0: no box, and the run a silent one would be.
        for (const char* station : {"invisible-station", "session-zero"}) {
            DeletePrinterDriverA(nullptr, const_cast<char*>("Windows x64"), const_cast<char*>(name.c_str()));
            DeleteFileA(log.c_str());
            const KelvaneRun unseen =
                startKelvaneAndAnswerBoxes(kelvaneFaultsPath(), config, work.narrowPath(), station);
            EXPECT_THAT(unseen.boxes, IsEmpty()) << config << ", " << station;
            EXPECT_EQ(unseen.exitCode, silent.exitCode) << config << ", " << station;
            EXPECT_EQ(unstampedLines(readFileBytes(log)), silentLog) << config << ", " << station;
        }
    }
    // The install ran last: its driver's files are in place.
    EXPECT_TRUE(driverFilesArePlaced("Windows x64", name, {{"kvtest.dll", "kvtest driver\n"}}));
}

}  // namespace
