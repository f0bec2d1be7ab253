// Kelvane.exe end to end under Wine's spooler, run silently: what it places
// and registers, what it refuses, and the exit code of every outcome.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>

#include "kelvane_harness.h"

namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Not;
using ::testing::UnorderedElementsAre;

constexpr char kX64[] = "Windows x64";

std::vector<std::string> BaseNames(const std::vector<std::string>& paths)
{
    std::vector<std::string> names;
    for (const std::string& path : paths) names.push_back(BaseName(path));
    return names;
}

// A configuration for a small driver whose files sit in the work folder.
std::string Config(const std::string& driverName, const std::string& driverDir,
                   const std::vector<std::string>& dependentFiles, const std::string& platform = kX64)
{
    std::string text = "#driver name\n" + driverName + "\n#platform\n" + platform + "\n#driver dir\n" + driverDir +
                       "\n#driver file\nkvtest.dll\n#data file\nkvtest.gpd\n#default data type\nRAW\n";
    text += "#dependent file\n";
    for (const std::string& file : dependentFiles) text += file + "\n";
    return text;
}

TEST(KelvaneInstall, InstallsTheSamplePackageOnceAndLeavesItAlone)
{
    const std::string sample = SamplePackageDir();
    const std::string drivers = DriverDirectory(kX64);
    KelvaneRun first = RunKelvane(KelvanePath(), "/s kelvane.cfg", sample);
    EXPECT_EQ(first.exitCode, 1u);
    EXPECT_THAT(first.boxes, ElementsAre());

    const auto driver = FindInstalledDriver(kX64, "Veranto Sample Printer");
    ASSERT_TRUE(driver.has_value());
    EXPECT_EQ(driver->cVersion, 3u);
    EXPECT_EQ(BaseName(driver->driverPath), "VSMPL64.DLL");
    EXPECT_EQ(BaseName(driver->dataFile), "VSMPL.GPD");
    EXPECT_EQ(BaseName(driver->configFile), "VSMPLUI.DLL");
    EXPECT_EQ(BaseName(driver->helpFile), "VSMPL.HLP");
    EXPECT_EQ(driver->defaultDataType, "RAW");
    EXPECT_THAT(BaseNames(driver->dependentFiles),
                UnorderedElementsAre("VSMPL64.DLL", "VSMPLUI.DLL", "VSMPL.GPD", "VSMPL.HLP", "VSMPLRES.DLL"));

    for (const char* file : {"VSMPL64.DLL", "VSMPLUI.DLL", "VSMPL.GPD", "VSMPL.HLP"})
        EXPECT_EQ(ReadFileBytes(drivers + file), ReadFileBytes(sample + file)) << file;
    // The compressed file is expanded under its expanded name.
    const std::string expanded = ReadFileBytes(drivers + "VSMPLRES.DLL");
    EXPECT_EQ(expanded, ReadFileBytes(WindowsPath(VR_SOURCE_DIR "/examples/veranto-sample/compress/VSMPLRES.DLL")));
    EXPECT_NE(expanded, ReadFileBytes(sample + "VSMPLRES.DL_"));
    EXPECT_EQ(GetFileAttributesA((drivers + "VSMPLRES.DL_").c_str()), INVALID_FILE_ATTRIBUTES);

    // A second run finds the driver and touches no file.
    const std::string helpFile = drivers + "VSMPL.HLP";
    const std::string original = ReadFileBytes(helpFile);
    WriteFileBytes(helpFile, original + "changed since the first run\n");
    KelvaneRun second = RunKelvane(KelvanePath(), "/s kelvane.cfg", sample);
    EXPECT_EQ(second.exitCode, 1u);
    EXPECT_EQ(ReadFileBytes(helpFile), original + "changed since the first run\n");
    WriteFileBytes(helpFile, original);
}

TEST(KelvaneInstall, ExitsWithZeroWhenNoConfigurationWasRead)
{
    WorkFolder work;
    EXPECT_EQ(RunKelvane(KelvanePath(), "", work.Path()).exitCode, 0u);
    EXPECT_EQ(RunKelvane(KelvanePath(), "/s", work.Path()).exitCode, 0u);
    EXPECT_EQ(RunKelvane(KelvanePath(), "kelvane.cfg /s", work.Path()).exitCode, 0u);
    EXPECT_EQ(RunKelvane(KelvanePath(), "/s missing.cfg", work.Path()).exitCode, 0u);
    EXPECT_EQ(RunKelvane(KelvanePath(), "/s " + std::string(260, 'c'), work.Path()).exitCode, 0u);
}

TEST(KelvaneInstall, RegistersWithoutAMissingFile)
{
    WorkFolder work;
    const std::string present = UniqueName("kvpresent") + ".txt";
    work.Write(present, "present\n");
    const std::string name = UniqueName("Kelvane Missing File ");
    work.Write("kelvane.cfg", Config(name, work.Path(), {"absent.txt", present}));

    EXPECT_EQ(RunKelvane(KelvanePath(), "/s kelvane.cfg", work.Path()).exitCode, 1u);
    const auto driver = FindInstalledDriver(kX64, name);
    ASSERT_TRUE(driver.has_value());
    EXPECT_THAT(BaseNames(driver->dependentFiles), ElementsAre(present));
    EXPECT_EQ(ReadFileBytes(DriverDirectory(kX64) + present), "present\n");
}

TEST(KelvaneInstall, ANameInOtherLetterCaseIsAnotherDriver)
{
    WorkFolder work;
    const std::string name = UniqueName("Kelvane Case ");
    work.Write("kelvane.cfg", Config(name, "", {}));
    ASSERT_EQ(RunKelvane(KelvanePath(), "/s kelvane.cfg", work.Path()).exitCode, 1u);

    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::string file = UniqueName("kvcase") + ".txt";
    work.Write(file, "placed\n");
    work.Write("kelvane.cfg", Config(upper, "", {file}));
    EXPECT_EQ(RunKelvane(KelvanePath(), "/s kelvane.cfg", work.Path()).exitCode, 1u);
    EXPECT_EQ(ReadFileBytes(DriverDirectory(kX64) + file), "placed\n");
}

// Wine's per-program version setting stands in for an older Windows.
class KelvaneOnOlderWindows : public ::testing::Test {
protected:
    void SetVersion(const char* version)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                       static_cast<DWORD>(std::strlen(version) + 1));
        RegCloseKey(key);
    }
    void TearDown() override { RegDeleteKeyA(HKEY_CURRENT_USER, kKey); }

    static constexpr char kKey[] = "Software\\Wine\\AppDefaults\\Kelvane.exe";
};

TEST_F(KelvaneOnOlderWindows, Windows40)
{
    SetVersion("nt40");
    WorkFolder work;
    const std::string file = UniqueName("kvnt40") + ".txt";
    work.Write(file, "nt40\n");
    const std::string name = UniqueName("Kelvane NT40 ");
    work.Write("kelvane.cfg", Config(name, "", {file}));
    EXPECT_EQ(RunKelvane(KelvanePath(), "/s kelvane.cfg", work.Path()).exitCode, 1u);
    const auto driver = FindInstalledDriver("Windows 4.0", name);
    ASSERT_TRUE(driver.has_value());
    EXPECT_EQ(driver->cVersion, 0u);
    EXPECT_FALSE(FindInstalledDriver(kX64, name).has_value());
    EXPECT_EQ(ReadFileBytes(DriverDirectory("Windows 4.0") + file), "nt40\n");
}

}  // namespace
