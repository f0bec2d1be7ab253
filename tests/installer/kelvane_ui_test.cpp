// Kelvane.exe's message boxes as a user meets them: each box is found on the
// screen, its caption and text are read, and OK is pressed.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "kelvane_harness.h"

namespace {

using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::IsEmpty;
using ::testing::SizeIs;
using ::testing::StartsWith;

// A box shown without a caption carries the system's default title.
constexpr char kDefaultCaption[] = "Error";

auto Box(const std::string& caption, const std::string& text)
{
    return AllOf(Field(&MessageBoxSeen::caption, caption), Field(&MessageBoxSeen::text, text));
}

auto ErrorBox(const std::string& text) { return Box(kDefaultCaption, text); }

std::string Config(const std::string& driverName, const std::vector<std::string>& dependentFiles,
                   const std::string& platform = "Windows x64")
{
    std::string text = "#driver name\n" + driverName + "\n#platform\n" + platform +
                       "\n#driver file\nkvtest.dll\n#dependent file\n";
    for (const std::string& file : dependentFiles) text += file + "\n";
    return text;
}

TEST(KelvaneMessages, UsageForANameThatDoesNotFit)
{
    WorkFolder work;
    KelvaneRun run = RunKelvane(KelvanePath(), std::string(260, 'c'), work.Path());
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_THAT(run.boxes, ElementsAre(ErrorBox("Usage: Kelvane.exe [-s] <config file name>")));
}

TEST(KelvaneMessages, TwoBoxesForAFileThatCannotBeRead)
{
    WorkFolder work;
    KelvaneRun run = RunKelvane(KelvanePath(), "nofile.cfg", work.Path());
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_THAT(run.boxes, ElementsAre(ErrorBox("cannot open config file: nofile.cfg\n"),
                                       ErrorBox("ReadConfig() error.")));

    run = RunKelvane(KelvanePath(), "-s nofile.cfg", work.Path());
    EXPECT_THAT(run.boxes, ElementsAre(ErrorBox("cannot open config file: -s\n"), ErrorBox("ReadConfig() error.")));
}

TEST(KelvaneMessages, RejectedPlatform)
{
    WorkFolder work;
    const std::string name = UniqueName("Kelvane Box ");
    work.Write("kelvane.cfg", Config(name, {}, "Windows NT x86"));
    KelvaneRun run = RunKelvane(KelvanePath(), "kelvane.cfg", work.Path());
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_THAT(run.boxes, ElementsAre(ErrorBox("This printer driver is for 64-bit versions of Windows. "
                                                "Your OS is 32-bit. Installation failed.")));
    EXPECT_FALSE(FindInstalledDriver("Windows x64", name).has_value());
}

TEST(KelvaneMessages, MissingFileUnknownEndingAndSuccess)
{
    WorkFolder work;
    const std::string odd = UniqueName("kvodd") + ".zz_";
    work.Write(odd, "not compressed\n");
    const std::string name = UniqueName("Kelvane Box ");
    work.Write("kelvane.cfg", Config(name, {"absent.dll", odd}));
    const std::string driverDirectory = DriverDirectory("Windows x64");

    KelvaneRun run = RunKelvane(KelvanePath(), "kelvane.cfg", work.Path());
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_THAT(run.boxes, ElementsAre(ErrorBox("Driver file 'absent.dll' is missing."),
                                       ErrorBox("unrecognized extension file name: " + odd + "."),
                                       Box("Printer install complete", name + " printer installed successfully.")));
    // The file goes through expansion and keeps its name.
    EXPECT_EQ(ReadFileBytes(driverDirectory + odd), "not compressed\n");

    // Installed already: no box at all.
    run = RunKelvane(KelvanePath(), "kelvane.cfg", work.Path());
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_THAT(run.boxes, IsEmpty());
}

TEST(KelvaneMessages, RegistrationFailureCarriesTheSystemText)
{
    WorkFolder work;
    work.Write("kelvane.cfg", Config(std::string(259, 'K'), {}));
    KelvaneRun run = RunKelvane(KelvanePath(), "kelvane.cfg", work.Path());
    EXPECT_EQ(run.exitCode, 2u);
    ASSERT_THAT(run.boxes, SizeIs(1));
    EXPECT_EQ(run.boxes[0].caption, kDefaultCaption);

    char systemText[512] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_INVALID_PARAMETER,
                   MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), systemText, sizeof systemText, nullptr);
    ASSERT_NE(systemText[0], '\0');
    EXPECT_EQ(run.boxes[0].text, std::string("OEM Driver install failed.\nError: ") + systemText);
}

TEST(KelvaneMessages, FailedCopiesAreReported)
{
    WorkFolder work;
    const std::string compressed = ReadFileBytes(SamplePackageDir() + "VSMPLRES.DL_");
    const std::string cut = UniqueName("kvcut") + ".DL_";
    work.Write(cut, compressed.substr(0, compressed.size() / 2));
    const std::string name = UniqueName("Kelvane Box ");
    work.Write("kelvane.cfg", Config(name, {cut}));
    std::string expanded = cut;
    expanded.back() = 'L';
    const std::string target = DriverDirectory("Windows x64") + expanded;

    KelvaneRun run = RunKelvane(KelvanePath(), "kelvane.cfg", work.Path());
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_THAT(run.boxes, ElementsAre(ErrorBox("Couldn't copy file '" + target + "'")));
    EXPECT_FALSE(FindInstalledDriver("Windows x64", name).has_value());
}

TEST(KelvaneMessages, NothingIsRegisteredAfterAFileFailed)
{
    WorkFolder work;
    const std::string drivers = DriverDirectory("Windows x64");
    auto expectRefused = [&](const std::string& config, const std::string& message) {
        const std::string name = config.substr(13, config.find('\n', 13) - 13);
        work.Write("kelvane.cfg", config);
        KelvaneRun run = RunKelvane(KelvanePath(), "kelvane.cfg", work.Path());
        EXPECT_EQ(run.exitCode, 2u) << message;
        EXPECT_THAT(run.boxes, ElementsAre(ErrorBox(message)));
        EXPECT_FALSE(FindInstalledDriver("Windows x64", name).has_value()) << message;
    };

    // A directory stands where the file should go.
    const std::string blocked = UniqueName("kvblocked") + ".txt";
    work.Write(blocked, "content\n");
    ASSERT_TRUE(CreateDirectoryA((drivers + blocked).c_str(), nullptr));
    expectRefused(Config(UniqueName("Kelvane Box "), {blocked}), "Couldn't copy file '" + drivers + blocked + "'");
    RemoveDirectoryA((drivers + blocked).c_str());

    // 251 characters of folder and 10 of name: each fits its line, not the path.
    const std::string folder = std::string(250, 'd') + "\\";
    expectRefused(Config(UniqueName("Kelvane Box "), {"kvtest.dll"}) + "#driver dir\n" + folder + "\n",
                  "File path too long: '" + folder + "kvtest.dll'");

    // 110 names of about 200 characters pass the 20,000 bytes of the list.
    const std::string wide = UniqueName(std::string(180, 'f')) + ".txt";
    work.Write(wide, "x\n");
    expectRefused(Config(UniqueName("Kelvane Box "), std::vector<std::string>(110, wide)),
                  "Too many dependent files: '" + wide + "' does not fit the list.");
}

TEST(KelvaneMessages, OlderWindows)
{
    static constexpr char kKey[] = "Software\\Wine\\AppDefaults\\Kelvane.exe";
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("nt351"), 6);
    RegCloseKey(key);
    WorkFolder work;
    const std::string name = UniqueName("Kelvane Box ");
    work.Write("kelvane.cfg", Config(name, {}));
    KelvaneRun run = RunKelvane(KelvanePath(), "kelvane.cfg", work.Path());
    RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_THAT(run.boxes, ElementsAre(ErrorBox("Unknown OS.")));
    EXPECT_FALSE(FindInstalledDriver("Windows x64", name).has_value());
}

TEST(KelvaneMessages, InjectedFaults)
{
    WorkFolder work;
    work.Write("kvtest.dll", "driver\n");
    const std::string name = UniqueName("Kelvane Box ");
    std::string config = Config(name, {"kvtest.dll"});
    work.Write("kelvane.cfg", config);
    const struct {
        const char* fault;
        const char* message;
    } cases[] = {
        {"dependent-files", "Memory allocation for dependent files failed"},
        {"driver-list", "Memory Allocation Error."},
        {"driver-directory", "GetPrinterDriverDirectory() failed."},
    };
    for (const auto& entry : cases) {
        KelvaneRun run = RunKelvane(KelvaneFaultsPath(), "kelvane.cfg", work.Path(), entry.fault);
        EXPECT_EQ(run.exitCode, 2u) << entry.fault;
        EXPECT_THAT(run.boxes, ElementsAre(ErrorBox(entry.message))) << entry.fault;
    }
    for (int i = 0; i < 300; ++i) config += "kvtest.dll\n";
    work.Write("kelvane.cfg", config);
    KelvaneRun run = RunKelvane(KelvaneFaultsPath(), "kelvane.cfg", work.Path(), "grow-dependent-files");
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_THAT(run.boxes, ElementsAre(ErrorBox("Memory reallocation failed")));
    EXPECT_FALSE(FindInstalledDriver("Windows x64", name).has_value());

    // The same build installs when no fault is asked for.
    run = RunKelvane(KelvaneFaultsPath(), "/s kelvane.cfg", work.Path());
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_TRUE(FindInstalledDriver("Windows x64", name).has_value());
}

TEST(KelvaneMessages, SilentModeShowsNothing)
{
    WorkFolder work;
    work.Write("kvtest.dll", "driver\n");
    work.Write("bad.cfg", Config(UniqueName("Kelvane Box "), {"absent.dll"}, "Windows NT x86"));
    work.Write("good.cfg", Config(UniqueName("Kelvane Box "), {"absent.dll", "kvtest.dll"}));
    for (const char* tail : {"/s nofile.cfg", "/s bad.cfg", "/Sgood.cfg", "nofile.cfg /s"}) {
        KelvaneRun run = RunKelvane(KelvanePath(), tail, work.Path());
        EXPECT_THAT(run.boxes, IsEmpty()) << tail;
    }
}

}  // namespace
