// The configuration file: line kinds, key matching, trimming, pieces of at
// most 259 characters, and the growing dependent-file list.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

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

class ReadConfigTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetCore();
        path_ = std::filesystem::temp_directory_path() /
                ("kelvane-config-" + std::to_string(reinterpret_cast<std::uintptr_t>(this)) + ".cfg");
        ASSERT_EQ(InitConfig(&config_), 1);
    }
    void TearDown() override
    {
        FreeDependentFiles(config_.DependentFiles);
        std::filesystem::remove(path_);
    }

    int Read(const std::string& bytes)
    {
        EXPECT_TRUE(vr::test::writeFileBytes(path_, bytes));
        return ReadConfig(path_.string().c_str(), &config_);
    }

    std::vector<std::string> DependentFiles() const
    {
        std::vector<std::string> files;
        for (std::uint32_t i = 0; i < config_.DependentFileCount; ++i)
            files.push_back(config_.DependentFiles[i]);
        return files;
    }

    std::filesystem::path path_;
    DriverConfig config_;
};

TEST_F(ReadConfigTest, FillsEveryFieldFromItsKey)
{
    ASSERT_EQ(Read("; sample\n"
                   "#driver name\nVeranto Sample\n"
                   "#platform\nWindows x64\n"
                   "#configuration file\nui.dll\n"
                   "#data file\nmodel.gpd\n"
                   "#default data type\nRAW\n"
                   "#driver dir\nC:\\drivers\\\n"
                   "#driver file\ndriver.dll\n"
                   "#help file\nhelp.hlp\n"
                   "#monitor file\nmonitor.dll\n"
                   "#dependent file\ndriver.dll\nres.dl_\n"),
              1);
    EXPECT_STREQ(config_.DriverName, "Veranto Sample");
    EXPECT_STREQ(config_.Platform, "Windows x64");
    EXPECT_STREQ(config_.ConfigFile, "ui.dll");
    EXPECT_STREQ(config_.DataFile, "model.gpd");
    EXPECT_STREQ(config_.DefaultDataType, "RAW");
    EXPECT_STREQ(config_.DriverDir, "C:\\drivers\\");
    EXPECT_STREQ(config_.DriverFile, "driver.dll");
    EXPECT_STREQ(config_.HelpFile, "help.hlp");
    EXPECT_STREQ(config_.MonitorFile, "monitor.dll");
    EXPECT_THAT(DependentFiles(), ElementsAre("driver.dll", "res.dl_"));
    EXPECT_THAT(gFakes.shown, IsEmpty());
}

TEST_F(ReadConfigTest, MatchesKeysIgnoringLetterCaseButNotBlanks)
{
    ASSERT_EQ(Read("  \t#DRIVER Name \t\nUpper\n"
                   "# driver file\nignored.dll\n"
                   "#\ndriver.dll\n"
                   "#help file\n"
                   "#unknown key\nvalue\n"),
              1);
    EXPECT_STREQ(config_.DriverName, "Upper");
    EXPECT_STREQ(config_.DriverFile, "");
    EXPECT_STREQ(config_.HelpFile, "");  // a key with no value line
}

TEST_F(ReadConfigTest, TrimsValuesAndSkipsCommentsAndBlankLines)
{
    ASSERT_EQ(Read("before any key\n"
                   "#driver name\n"
                   " \t  My  Driver ; not a comment \t \n"
                   "   ; a comment\n"
                   " \t \n"
                   "\n"
                   "#driver file\nfirst.dll\nsecond.dll\n"
                   "#data file\nlast.gpd\n   \t "),
              1);
    EXPECT_STREQ(config_.DriverName, "My  Driver ; not a comment");
    EXPECT_STREQ(config_.DriverFile, "second.dll");
    EXPECT_STREQ(config_.DataFile, "last.gpd");
}

TEST_F(ReadConfigTest, ReadsLongLinesAsPiecesOf259Characters)
{
    const std::string line(300, 'x');
    ASSERT_EQ(Read("#dependent file\n" + line + "\n#driver name\n" + std::string(259, 'n') + "\n"), 1);
    EXPECT_THAT(DependentFiles(), ElementsAre(std::string(259, 'x'), std::string(41, 'x')));
    EXPECT_EQ(std::string(config_.DriverName), std::string(259, 'n'));

    // A key cut at 259 characters is a different key, and its rest a value.
    ResetCore();
    std::string cutKey(259, 'k');
    cutKey[0] = '#';
    ASSERT_EQ(Read(cutKey + "driver file\nvalue\n"), 1);
    EXPECT_STREQ(config_.DriverFile, "");
}

TEST_F(ReadConfigTest, TakesBytesAsTheyStand)
{
    ASSERT_EQ(Read("\xEF\xBB\xBF#driver name\nWith Mark\n#driver file\nd\xE9j\xE0.dll\n"), 1);
    EXPECT_STREQ(config_.DriverName, "");
    EXPECT_STREQ(config_.DriverFile, "d\xE9j\xE0.dll");
}

TEST_F(ReadConfigTest, EmptyAndCommentOnlyFilesAreRead)
{
    EXPECT_EQ(Read(""), 1);
    EXPECT_EQ(Read(";only\n  ; comments\n"), 1);
    EXPECT_STREQ(config_.DriverName, "");
    EXPECT_STREQ(config_.Platform, "");
    EXPECT_EQ(config_.DependentFileCount, 0u);
}

#ifdef _WIN32
TEST_F(ReadConfigTest, DropsCarriageReturnsOfTextModeLines)
{
    ASSERT_EQ(Read("#Driver Name\r\n  Windows Name \r\n"), 1);
    EXPECT_STREQ(config_.DriverName, "Windows Name");
}
#endif

TEST_F(ReadConfigTest, GrowsTheFileListBy260EntriesAtATime)
{
    std::string text = "#dependent file\n";
    for (int i = 0; i < 300; ++i)
        text += "file" + std::to_string(i) + ".dll\n";
    ASSERT_EQ(Read(text), 1);
    ASSERT_EQ(config_.DependentFileCount, 300u);
    EXPECT_EQ(gFakes.growths, 1);
    EXPECT_EQ(config_.DependentFileCapacity, 520u);
    for (std::uint32_t i = 0; i < 300; ++i)
        EXPECT_EQ(std::string(config_.DependentFiles[i]), "file" + std::to_string(i) + ".dll");
}

TEST_F(ReadConfigTest, GrowsWhenThe260thEntryIsAdded)
{
    std::string text = "#dependent file\n";
    for (int i = 0; i < 259; ++i)
        text += "f\n";
    ASSERT_EQ(Read(text), 1);
    EXPECT_EQ(gFakes.growths, 0);
    ASSERT_EQ(Read("#dependent file\nlast\n"), 1);
    EXPECT_EQ(gFakes.growths, 1);
    EXPECT_EQ(config_.DependentFileCount, 260u);
}

TEST_F(ReadConfigTest, KeepsTheOldListWhenItCannotGrow)
{
    std::string text = "#dependent file\n";
    for (int i = 0; i < 300; ++i)
        text += "file" + std::to_string(i) + ".dll\n";
    gFakes.growthsBeforeFailure = 0;
    DependentFileEntry* before = config_.DependentFiles;
    EXPECT_EQ(Read(text), kReadConfigOutOfMemory);
    EXPECT_THAT(gFakes.Texts(), ElementsAre("Memory reallocation failed"));
    EXPECT_EQ(config_.DependentFiles, before);
    ASSERT_EQ(config_.DependentFileCount, 259u);
    EXPECT_STREQ(config_.DependentFiles[258], "file258.dll");
}

TEST(InitConfig, ReportsAFailedAllocation)
{
    ResetCore();
    gFakes.failFirstAllocation = true;
    DriverConfig config;
    std::memset(&config, 'x', sizeof config);
    EXPECT_EQ(InitConfig(&config), 0);
    EXPECT_EQ(config.DependentFiles, nullptr);
    EXPECT_EQ(config.DependentFileCount, 0u);
    EXPECT_STREQ(config.DriverName, "");
    EXPECT_STREQ(config.MonitorFile, "");
    EXPECT_THAT(gFakes.Texts(), ElementsAre("Memory allocation for dependent files failed"));
}

}  // namespace
