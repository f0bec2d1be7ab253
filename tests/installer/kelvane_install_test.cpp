// Kelvane.exe end to end under Wine's spooler, run silently: what it places
// and registers, what it refuses, and the exit code of every outcome.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <string>

#include <windows.h>
#include <winspool.h>

#include "file_bytes.h"
#include "installed_drivers.h"
#include "kelvane_runs.h"
#include "registry_state.h"
#include "wine_paths.h"

namespace {

using namespace vr::test;

using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

constexpr char kX64[] = "Windows x64";

std::vector<std::string> BaseNames(const std::vector<std::string>& paths)
{
    std::vector<std::string> names;
    for (const std::string& path : paths)
        names.push_back(baseName(path));
    return names;
}

// A configuration for a small driver whose files sit in the work folder.
std::string Config(const std::string& driverName, const std::string& driverDir,
                   const std::vector<std::string>& dependentFiles, const std::string& platform = kX64)
{
    std::string text = "#driver name\n" + driverName + "\n#platform\n" + platform + "\n#driver dir\n" + driverDir +
                       "\n#driver file\nkvtest.dll\n#data file\nkvtest.gpd\n#default data type\nRAW\n";
    text += "#dependent file\n";
    for (const std::string& file : dependentFiles)
        text += file + "\n";
    return text;
}

// The test driver's own files followed by `others`, as a dependent-file list.
std::vector<std::string> WithDriverFiles(const std::vector<std::string>& others)
{
    std::vector<std::string> files;
    for (const auto& [name, bytes] : kTestDriverFiles)
        files.push_back(name);
    files.insert(files.end(), others.begin(), others.end());
    return files;
}

// The driver is registered with its own files and `others` as its dependent
// files, and the driver directory holds each of them with its bytes.
void ExpectRegisteredWith(const std::string& name, const std::map<std::string, std::string>& others,
                          const char* environment = kX64)
{
    std::map<std::string, std::string> files = kTestDriverFiles;
    files.insert(others.begin(), others.end());
    std::vector<std::string> names;
    for (const auto& [file, bytes] : files)
        names.push_back(file);
    const auto driver = findInstalledDriver(environment, name);
    ASSERT_TRUE(driver.has_value());
    EXPECT_THAT(BaseNames(driver->dependentFiles), ::testing::UnorderedElementsAreArray(names));
    EXPECT_TRUE(driverFilesArePlaced(environment, name, files));
}

constexpr char kSampleDriver[] = "Veranto Sample Printer";
constexpr const char* kSampleFiles[] = {"VSMPL64.DLL", "VSMPLUI.DLL", "VSMPL.GPD", "VSMPL.HLP", "VSMPLRES.DLL"};

void RemoveSampleDriver(const std::string& drivers)
{
    DeletePrinterDriverA(nullptr, const_cast<char*>(kX64), const_cast<char*>(kSampleDriver));
    for (const char* file : kSampleFiles) {
        SetFileAttributesA((drivers + file).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA((drivers + file).c_str());
    }
}

TEST(KelvaneInstall, InstallsTheSamplePackageOnceAndLeavesItAlone)
{
    const std::string sample = samplePackageDir();
    const std::string drivers = driverDirectory(kX64);
    // The sample's configuration names its driver: what an earlier run left in
    // a kept prefix goes first, so that this run installs it anew.
    RemoveSampleDriver(drivers);
    ASSERT_FALSE(findInstalledDriver(kX64, kSampleDriver).has_value());
    KelvaneRun first = startKelvaneAndAnswerBoxes(kelvanePath(), "/s kelvane.cfg", sample);
    EXPECT_EQ(first.exitCode, 1u);
    EXPECT_THAT(first.boxes, ElementsAre());

    const auto driver = findInstalledDriver(kX64, kSampleDriver);
    ASSERT_TRUE(driver.has_value());
    EXPECT_EQ(driver->cVersion, 3u);
    EXPECT_EQ(baseName(driver->driverPath), "VSMPL64.DLL");
    EXPECT_EQ(baseName(driver->dataFile), "VSMPL.GPD");
    EXPECT_EQ(baseName(driver->configFile), "VSMPLUI.DLL");
    EXPECT_EQ(baseName(driver->helpFile), "VSMPL.HLP");
    EXPECT_EQ(driver->defaultDataType, "RAW");
    EXPECT_THAT(BaseNames(driver->dependentFiles),
                UnorderedElementsAre("VSMPL64.DLL", "VSMPLUI.DLL", "VSMPL.GPD", "VSMPL.HLP", "VSMPLRES.DLL"));

    // The compressed file is expanded under its expanded name.
    std::map<std::string, std::string> placed = {
        {"VSMPLRES.DLL",
         readFileBytes(narrowWindowsPath(VR_SOURCE_DIR "/examples/veranto-sample/compress/VSMPLRES.DLL"))}};
    for (const char* file : {"VSMPL64.DLL", "VSMPLUI.DLL", "VSMPL.GPD", "VSMPL.HLP"})
        placed[file] = readFileBytes(sample + file);
    EXPECT_TRUE(driverFilesArePlaced(kX64, kSampleDriver, placed));
    const std::string expanded = readFileBytes(drivers + "VSMPLRES.DLL");
    EXPECT_NE(expanded, readFileBytes(sample + "VSMPLRES.DL_"));
    EXPECT_EQ(GetFileAttributesA((drivers + "VSMPLRES.DL_").c_str()), INVALID_FILE_ATTRIBUTES);

    // A second run finds the driver and touches no file.
    const std::string helpFile = drivers + "VSMPL.HLP";
    const std::string original = readFileBytes(helpFile);
    writeFileBytes(helpFile, original + "changed since the first run\n");
    KelvaneRun second = startKelvaneAndAnswerBoxes(kelvanePath(), "/s kelvane.cfg", sample);
    EXPECT_EQ(second.exitCode, 1u);
    EXPECT_EQ(readFileBytes(helpFile), original + "changed since the first run\n");
    writeFileBytes(helpFile, original);
}

TEST(KelvaneInstall, ExitsWithZeroWhenNoConfigurationWasRead)
{
    ScratchFolder work("kelvane");
    EXPECT_EQ(startKelvaneAndAnswerBoxes(kelvanePath(), "", work.narrowPath()).exitCode, 0u);
    EXPECT_EQ(startKelvaneAndAnswerBoxes(kelvanePath(), "/s", work.narrowPath()).exitCode, 0u);
    EXPECT_EQ(startKelvaneAndAnswerBoxes(kelvanePath(), "kelvane.cfg /s", work.narrowPath()).exitCode, 0u);
    EXPECT_EQ(startKelvaneAndAnswerBoxes(kelvanePath(), "/s missing.cfg", work.narrowPath()).exitCode, 0u);
    EXPECT_EQ(startKelvaneAndAnswerBoxes(kelvanePath(), "/s " + std::string(260, 'c'), work.narrowPath()).exitCode, 0u);
}

TEST(KelvaneInstall, RegistersWithoutAMissingFile)
{
    ScratchFolder work("kelvane");
    const std::string present = uniqueName("kvpresent") + ".txt";
    work.write(present, "present\n");
    writeTestDriverFiles(work);
    const std::string name = uniqueName("Kelvane Missing File ");
    work.write("kelvane.cfg", Config(name, work.narrowPath() + "\\", WithDriverFiles({"absent.txt", present})));

    EXPECT_EQ(startKelvaneAndAnswerBoxes(kelvanePath(), "/s kelvane.cfg", work.narrowPath()).exitCode, 1u);
    ExpectRegisteredWith(name, {{present, "present\n"}});
}

TEST(KelvaneInstall, ANameInOtherLetterCaseIsAnotherDriver)
{
    ScratchFolder work("kelvane");
    writeTestDriverFiles(work);
    const std::string name = uniqueName("Kelvane Case ");
    work.write("kelvane.cfg", Config(name, "", WithDriverFiles({})));
    ASSERT_EQ(startKelvaneAndAnswerBoxes(kelvanePath(), "/s kelvane.cfg", work.narrowPath()).exitCode, 1u);
    ExpectRegisteredWith(name, {});

    std::string upper = name;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::string file = uniqueName("kvcase") + ".txt";
    work.write(file, "placed\n");
    work.write("kelvane.cfg", Config(upper, "", WithDriverFiles({file})));
    EXPECT_EQ(startKelvaneAndAnswerBoxes(kelvanePath(), "/s kelvane.cfg", work.narrowPath()).exitCode, 1u);
    // The spooler's own lookup ignores case: it keeps the first spelling.
    ExpectRegisteredWith(name, {{file, "placed\n"}});
}

TEST(KelvaneInstall, ADriverDirWithoutABackslashIsJoinedToEachNameAsItStands)
{
    ScratchFolder work("kelvane");
    const std::string placed = uniqueName("kvjoined") + ".txt";
    work.write("kv" + placed, "joined\n");
    writeTestDriverFiles(work, "kv");
    // Found only if a separator were put between folder and name.
    work.write("absent.txt", "never read\n");
    const std::string prefix = work.narrowPath() + "\\kv";
    const std::string name = uniqueName("Kelvane Joined ");
    work.write("kelvane.cfg", Config(name, prefix, WithDriverFiles({placed, "absent.txt"})));

    KelvaneRun run = startKelvaneAndAnswerBoxes(kelvanePath(), "kelvane.cfg", work.narrowPath());
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_THAT(run.boxes, ElementsAre(ErrorBox("Driver file '" + prefix + "absent.txt' is missing."),
                                       Box("Printer install complete", name + " printer installed successfully.")));
    ExpectRegisteredWith(name, {{placed, "joined\n"}});
}

TEST(KelvaneInstall, TheMonitorNameReachesTheSpooler)
{
    ScratchFolder work("kelvane");
    writeTestDriverFiles(work);
    const std::string name = uniqueName("Kelvane Monitor ");
    work.write("kelvane.cfg", Config(name, "", WithDriverFiles({})) + "#monitor file\nKelvane Test Port Monitor\n");
    EXPECT_EQ(startKelvaneAndAnswerBoxes(kelvanePath(), "/s kelvane.cfg", work.narrowPath()).exitCode, 1u);
    const auto driver = findInstalledDriver(kX64, name);
    ASSERT_TRUE(driver.has_value());
    EXPECT_EQ(driver->monitorName, "Kelvane Test Port Monitor");
    EXPECT_EQ(baseName(driver->driverPath), "kvtest.dll");
    EXPECT_EQ(baseName(driver->dataFile), "kvtest.gpd");
    ExpectRegisteredWith(name, {});
}

TEST(KelvaneInstall, APackageInADeepFolderIsInstalled)
{
    ScratchFolder work("kelvane");
    // Folders down to a package path of 160 characters, as a deployment share
    // or a download tool makes them; every path still fits 259 characters.
    std::string package = work.narrowPath();
    while (package.size() < 160) {
        const std::size_t remaining = 160 - package.size();
        package.push_back('\\');
        package.append(remaining > 41 ? 40 : std::max<std::size_t>(remaining - 1, 1), 'p');
        ASSERT_TRUE(CreateDirectoryA(package.c_str(), nullptr)) << package;
    }
    const std::string compressed = uniqueName("kvdeep") + ".DL_";
    std::string expanded = compressed;
    expanded.back() = 'L';
    const std::string original =
        readFileBytes(narrowWindowsPath(VR_SOURCE_DIR "/examples/veranto-sample/compress/VSMPLRES.DLL"));
    ASSERT_TRUE(writeFileBytes(package + "\\" + compressed, readFileBytes(samplePackageDir() + "VSMPLRES.DL_")));
    for (const auto& [file, bytes] : kTestDriverFiles)
        ASSERT_TRUE(writeFileBytes(package + "\\" + file, bytes));

    // Names found from the working folder, and names joined to a driver dir.
    for (const std::string& driverDir : {std::string(), package + "\\"}) {
        const std::string name = uniqueName("Kelvane Deep ");
        ASSERT_TRUE(writeFileBytes(package + "\\kelvane.cfg", Config(name, driverDir, WithDriverFiles({compressed}))));
        KelvaneRun run = startKelvaneAndAnswerBoxes(kelvanePath(), "kelvane.cfg", package);
        EXPECT_EQ(run.exitCode, 1u) << driverDir;
        EXPECT_THAT(run.boxes, ElementsAre(Box("Printer install complete", name + " printer installed successfully.")));
        ExpectRegisteredWith(name, {{expanded, original}});
    }
}

TEST(KelvaneInstall, NamesThatLeaveTheDriverDirectoryAreRefusedBeforeAnythingIsPlaced)
{
    ScratchFolder work("kelvane");
    const std::string package = work.narrowPath() + "\\package";
    ASSERT_TRUE(CreateDirectoryA(package.c_str(), nullptr));
    const std::string drivers = driverDirectory(kX64);
    // Each escaping name finds its file, so that only the refusal keeps it out
    // (a device name finds its device).
    const std::string outside = uniqueName("kvout") + ".txt";
    work.write(outside, "outside\n");
    const std::string first = uniqueName("kvfirst") + ".txt";
    const std::string last = uniqueName("kvlast") + ".txt";
    for (const std::string& good : {first, last, outside})
        ASSERT_TRUE(writeFileBytes(package + "\\" + good, "good\n"));
    const std::string escaping[] = {
        "..\\" + outside, "../" + outside, "package\\..\\..\\" + outside,      "\\" + outside,
        "/" + outside,    "C:" + outside,  work.narrowPath() + "\\" + outside, outside + ":stream",
        "NUL." + outside,
    };
    const std::string log = work.narrowPath() + "\\run.log";
    RunLogVariable variable(log);
    for (const std::string& bad : escaping) {
        for (const std::vector<std::string>& files : {std::vector<std::string>{bad}, {first, bad, last}}) {
            DeleteFileA(log.c_str());
            const std::string name = uniqueName("Kelvane Escape ");
            ASSERT_TRUE(writeFileBytes(package + "\\kelvane.cfg", Config(name, package + "\\", files)));
            KelvaneRun run = startKelvaneAndAnswerBoxes(kelvanePath(), "/s kelvane.cfg", package);
            EXPECT_EQ(run.exitCode, 2u) << bad;
            EXPECT_THAT(
                unstampedLines(readFileBytes(log)),
                ElementsAre("Error: Driver file name '" + bad + "' leaves the driver directory.", "exit code 2"));
            EXPECT_FALSE(findInstalledDriver(kX64, name).has_value()) << bad;
            for (const std::string& placed : {drivers + first, drivers + last, drivers + outside,
                                              drivers + "..\\" + outside, drivers + "..\\..\\" + outside})
                EXPECT_EQ(GetFileAttributesA(placed.c_str()), INVALID_FILE_ATTRIBUTES) << bad << ": " << placed;
        }
    }
}

// Wine's per-program version setting stands in for an older Windows.
class KelvaneOnOlderWindows : public ::testing::Test {
protected:
    void SetVersion(const std::wstring& version)
    {
        ASSERT_TRUE(setValue(HKEY_CURRENT_USER, kKey, L"Version", REG_SZ, version.c_str(),
                             static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t))));
    }
    void TearDown() override { removeKey(HKEY_CURRENT_USER, kKey); }

    static constexpr wchar_t kKey[] = L"Software\\Wine\\AppDefaults\\Kelvane.exe";
};

TEST_F(KelvaneOnOlderWindows, Windows40)
{
    SetVersion(L"nt40");
    ScratchFolder work("kelvane");
    const std::string file = uniqueName("kvnt40") + ".txt";
    work.write(file, "nt40\n");
    writeTestDriverFiles(work);
    const std::string name = uniqueName("Kelvane NT40 ");
    work.write("kelvane.cfg", Config(name, "", WithDriverFiles({file})));
    EXPECT_EQ(startKelvaneAndAnswerBoxes(kelvanePath(), "/s kelvane.cfg", work.narrowPath()).exitCode, 1u);
    const auto driver = findInstalledDriver("Windows 4.0", name);
    ASSERT_TRUE(driver.has_value());
    EXPECT_EQ(driver->cVersion, 0u);
    EXPECT_FALSE(findInstalledDriver(kX64, name).has_value());
    ExpectRegisteredWith(name, {{file, "nt40\n"}}, "Windows 4.0");
}

}  // namespace
