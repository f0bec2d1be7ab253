// Kelvane.exe's message boxes as a user meets them: each box is found on the
// screen, its caption and text are read, and OK is pressed.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "file_bytes.h"
#include "installed_drivers.h"
#include "kelvane_runs.h"
#include "registry_state.h"

namespace {

using namespace vr::test;

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::SizeIs;

std::string Config(const std::string& driverName, const std::vector<std::string>& dependentFiles,
                   const std::string& platform = "Windows x64")
{
    std::string text =
        "#driver name\n" + driverName + "\n#platform\n" + platform + "\n#driver file\nkvtest.dll\n#dependent file\n";
    for (const std::string& file : dependentFiles)
        text += file + "\n";
    return text;
}

TEST(KelvaneMessages, UsageForANameThatDoesNotFit)
{
    ScratchFolder work("kelvane");
    KelvaneRun run = startKelvaneAndAnswerBoxes(kelvanePath(), std::string(260, 'c'), work.narrowPath());
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_THAT(run.boxes, ElementsAre(ErrorBox("Usage: Kelvane.exe [-s] <config file name>")));
}

TEST(KelvaneMessages, TwoBoxesForAFileThatCannotBeRead)
{
    ScratchFolder work("kelvane");
    KelvaneRun run = startKelvaneAndAnswerBoxes(kelvanePath(), "nofile.cfg", work.narrowPath());
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_THAT(run.boxes,
                ElementsAre(ErrorBox("cannot open config file: nofile.cfg\n"), ErrorBox("ReadConfig() error.")));

    // "-s", as the usage message writes it, silences the same run.
    run = startKelvaneAndAnswerBoxes(kelvanePath(), "-s nofile.cfg", work.narrowPath());
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_THAT(run.boxes, IsEmpty());
}

TEST(KelvaneMessages, RejectedPlatform)
{
    ScratchFolder work("kelvane");
    const std::string name = uniqueName("Kelvane Box ");
    work.write("kelvane.cfg", Config(name, {}, "Windows NT x86"));
    KelvaneRun run = startKelvaneAndAnswerBoxes(kelvanePath(), "kelvane.cfg", work.narrowPath());
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_THAT(run.boxes, ElementsAre(ErrorBox("This printer driver is for 64-bit versions of Windows. "
                                                "Your OS is 32-bit. Installation failed.")));
    EXPECT_FALSE(findInstalledDriver("Windows x64", name).has_value());
}

TEST(KelvaneMessages, MissingFileUnknownEndingAndSuccess)
{
    ScratchFolder work("kelvane");
    const std::string odd = uniqueName("kvodd") + ".zz_";
    work.write(odd, "not compressed\n");
    writeTestDriverFiles(work);
    const std::string name = uniqueName("Kelvane Box ");
    work.write("kelvane.cfg", Config(name, {"kvtest.dll", "absent.dll", odd}));
    const std::string drivers = driverDirectory("Windows x64");

    KelvaneRun run = startKelvaneAndAnswerBoxes(kelvanePath(), "kelvane.cfg", work.narrowPath());
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_THAT(run.boxes, ElementsAre(ErrorBox("Driver file 'absent.dll' is missing."),
                                       ErrorBox("unrecognized extension file name: " + odd + "."),
                                       Box("Printer install complete", name + " printer installed successfully.")));
    // The file goes through expansion and keeps its name, in the driver
    // directory and in the spooler's list.
    EXPECT_EQ(readFileBytes(drivers + odd), "not compressed\n");
    const auto driver = findInstalledDriver("Windows x64", name);
    ASSERT_TRUE(driver.has_value());
    ASSERT_EQ(driver->dependentFiles.size(), 2u);
    EXPECT_EQ(baseName(driver->dependentFiles[1]), odd);
    EXPECT_TRUE(
        driverFilesArePlaced("Windows x64", name, {{"kvtest.dll", "kvtest driver\n"}, {odd, "not compressed\n"}}));

    // Installed already: no box at all.
    run = startKelvaneAndAnswerBoxes(kelvanePath(), "kelvane.cfg", work.narrowPath());
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_THAT(run.boxes, IsEmpty());
}

TEST(KelvaneMessages, RegistrationFailureCarriesTheSystemText)
{
    ScratchFolder work("kelvane");
    work.write("kelvane.cfg", Config(std::string(259, 'K'), {}));
    const std::string log = work.narrowPath() + "\\run.log";
    RunLogVariable variable(log);
    KelvaneRun run = startKelvaneAndAnswerBoxes(kelvanePath(), "kelvane.cfg", work.narrowPath());
    EXPECT_EQ(run.exitCode, 2u);
    ASSERT_THAT(run.boxes, SizeIs(1));
    EXPECT_EQ(run.boxes[0].caption, kDefaultCaption);

    char systemText[512] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_INVALID_PARAMETER,
                   MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), systemText, sizeof systemText, nullptr);
    ASSERT_NE(systemText[0], '\0');
    EXPECT_EQ(run.boxes[0].text, std::string("OEM Driver install failed.\nError: ") + systemText);

    // The run log keeps the message on one line: each of the system text's
    // CR LF line ends is written as one "\n".
    std::string logged = systemText;
    ASSERT_NE(logged.find("\r\n"), std::string::npos);
    for (std::size_t at = logged.find("\r\n"); at != std::string::npos; at = logged.find("\r\n", at))
        logged.replace(at, 2, "\\n");
    EXPECT_THAT(unstampedLines(readFileBytes(log)),
                ElementsAre("Error: OEM Driver install failed.\\nError: " + logged, "exit code 2"));
}

TEST(KelvaneMessages, FailedCopiesAreReported)
{
    ScratchFolder work("kelvane");
    const std::string compressed = readFileBytes(samplePackageDir() + "VSMPLRES.DL_");
    const std::string cut = uniqueName("kvcut") + ".DL_";
    work.write(cut, compressed.substr(0, compressed.size() / 2));
    const std::string name = uniqueName("Kelvane Box ");
    work.write("kelvane.cfg", Config(name, {cut}));
    std::string expanded = cut;
    expanded.back() = 'L';
    const std::string target = driverDirectory("Windows x64") + expanded;

    KelvaneRun run = startKelvaneAndAnswerBoxes(kelvanePath(), "kelvane.cfg", work.narrowPath());
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_THAT(run.boxes, ElementsAre(ErrorBox("Couldn't copy file '" + target + "'")));
    EXPECT_FALSE(findInstalledDriver("Windows x64", name).has_value());
}

TEST(KelvaneMessages, NothingIsRegisteredAfterAFileFailed)
{
    ScratchFolder work("kelvane");
    const std::string drivers = driverDirectory("Windows x64");
    auto expectRefused = [&](const std::string& config, const std::string& message) {
        const std::string name = config.substr(13, config.find('\n', 13) - 13);
        work.write("kelvane.cfg", config);
        KelvaneRun run = startKelvaneAndAnswerBoxes(kelvanePath(), "kelvane.cfg", work.narrowPath());
        EXPECT_EQ(run.exitCode, 2u) << message;
        EXPECT_THAT(run.boxes, ElementsAre(ErrorBox(message)));
        EXPECT_FALSE(findInstalledDriver("Windows x64", name).has_value()) << message;
    };

    // A directory stands where the file should go.
    const std::string blocked = uniqueName("kvblocked") + ".txt";
    work.write(blocked, "content\n");
    ASSERT_TRUE(CreateDirectoryA((drivers + blocked).c_str(), nullptr));
    expectRefused(Config(uniqueName("Kelvane Box "), {blocked}), "Couldn't copy file '" + drivers + blocked + "'");
    RemoveDirectoryA((drivers + blocked).c_str());

    // 251 characters of folder and 10 of name: each fits its line, not the path.
    const std::string folder = std::string(250, 'd') + "\\";
    expectRefused(Config(uniqueName("Kelvane Box "), {"kvtest.dll"}) + "#driver dir\n" + folder + "\n",
                  "File path too long: '" + folder + "kvtest.dll'");

    // 110 names of about 200 characters pass the 20,000 bytes of the list.
    const std::string wide = uniqueName(std::string(180, 'f')) + ".txt";
    work.write(wide, "x\n");
    expectRefused(Config(uniqueName("Kelvane Box "), std::vector<std::string>(110, wide)),
                  "Too many dependent files: '" + wide + "' does not fit the list.");
}

TEST(KelvaneMessages, OlderWindows)
{
    static constexpr wchar_t kKey[] = L"Software\\Wine\\AppDefaults\\Kelvane.exe";
    static constexpr wchar_t kVersion[] = L"nt351";
    ASSERT_TRUE(setValue(HKEY_CURRENT_USER, kKey, L"Version", REG_SZ, kVersion, sizeof kVersion));
    ScratchFolder work("kelvane");
    const std::string name = uniqueName("Kelvane Box ");
    work.write("kelvane.cfg", Config(name, {}));
    KelvaneRun run = startKelvaneAndAnswerBoxes(kelvanePath(), "kelvane.cfg", work.narrowPath());
    removeKey(HKEY_CURRENT_USER, kKey);
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_THAT(run.boxes, ElementsAre(ErrorBox("Unknown OS.")));
    EXPECT_FALSE(findInstalledDriver("Windows x64", name).has_value());
}

TEST(KelvaneMessages, InjectedFaults)
{
    ScratchFolder work("kelvane");
    writeTestDriverFiles(work);
    const std::string name = uniqueName("Kelvane Box ");
    std::string config = Config(name, {"kvtest.dll"});
    work.write("kelvane.cfg", config);
    const struct {
        const char* fault;
        const char* message;
    } cases[] = {
        {"dependent-files", "Memory allocation for dependent files failed"},
        {"driver-list", "Memory Allocation Error."},
        {"driver-directory", "GetPrinterDriverDirectory() failed."},
    };
    for (const auto& entry : cases) {
        KelvaneRun run = startKelvaneAndAnswerBoxes(kelvaneFaultsPath(), "kelvane.cfg", work.narrowPath(), entry.fault);
        EXPECT_EQ(run.exitCode, 2u) << entry.fault;
        EXPECT_THAT(run.boxes, ElementsAre(ErrorBox(entry.message))) << entry.fault;
    }
    for (int i = 0; i < 300; ++i)
        config += "kvtest.dll\n";
    work.write("kelvane.cfg", config);
    KelvaneRun run =
        startKelvaneAndAnswerBoxes(kelvaneFaultsPath(), "kelvane.cfg", work.narrowPath(), "grow-dependent-files");
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_THAT(run.boxes, ElementsAre(ErrorBox("Memory reallocation failed")));
    EXPECT_FALSE(findInstalledDriver("Windows x64", name).has_value());

    // The same build installs when no fault is asked for.
    run = startKelvaneAndAnswerBoxes(kelvaneFaultsPath(), "/s kelvane.cfg", work.narrowPath());
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_TRUE(driverFilesArePlaced("Windows x64", name, {{"kvtest.dll", "kvtest driver\n"}}));
}

TEST(KelvaneMessages, AnEntryThatCannotBeBoundFailsAsItsCall)
{
    ScratchFolder work("kelvane");
    writeTestDriverFiles(work);
    const std::string compressed = uniqueName("kvbind") + ".DL_";
    work.write(compressed, readFileBytes(samplePackageDir() + "VSMPLRES.DL_"));
    std::string expanded = compressed;
    expanded.back() = 'L';
    const std::string drivers = driverDirectory("Windows x64");
    const struct {
        const char* fault;
        std::vector<std::string> files;
        std::string message;  // empty: installed
    } cases[] = {
        {"no-spooler-library", {"kvtest.dll"}, "GetPrinterDriverDirectory() failed."},
        {"no-lz-library", {"kvtest.dll", compressed}, "Couldn't copy file '" + drivers + expanded + "'"},
        // Plain files need no LZ entry.
        {"no-lz-library", {"kvtest.dll"}, ""},
    };
    for (const auto& entry : cases) {
        const std::string name = uniqueName("Kelvane Bind ");
        work.write("kelvane.cfg", Config(name, entry.files));
        KelvaneRun run = startKelvaneAndAnswerBoxes(kelvaneFaultsPath(), "kelvane.cfg", work.narrowPath(), entry.fault);
        if (entry.message.empty()) {
            EXPECT_EQ(run.exitCode, 1u) << entry.fault;
            EXPECT_TRUE(driverFilesArePlaced("Windows x64", name, {{"kvtest.dll", "kvtest driver\n"}}));
            continue;
        }
        EXPECT_EQ(run.exitCode, 2u) << entry.fault;
        EXPECT_THAT(run.boxes, ElementsAre(ErrorBox(entry.message))) << entry.fault;
        EXPECT_FALSE(findInstalledDriver("Windows x64", name).has_value()) << entry.fault;
    }
}

TEST(KelvaneMessages, SilentModeShowsNothing)
{
    ScratchFolder work("kelvane");
    writeTestDriverFiles(work);
    work.write("bad.cfg", Config(uniqueName("Kelvane Box "), {"absent.dll"}, "Windows NT x86"));
    const std::string good = uniqueName("Kelvane Box ");
    work.write("good.cfg", Config(good, {"absent.dll", "kvtest.dll"}));
    for (const char* tail : {"/s nofile.cfg", "/s bad.cfg", "/Sgood.cfg", "nofile.cfg /s"}) {
        KelvaneRun run = startKelvaneAndAnswerBoxes(kelvanePath(), tail, work.narrowPath());
        EXPECT_THAT(run.boxes, IsEmpty()) << tail;
    }
    EXPECT_TRUE(driverFilesArePlaced("Windows x64", good, {{"kvtest.dll", "kvtest driver\n"}}));
}

}  // namespace
