// Staging decisions that need no spooler: compressed names, the environment
// for the running system, bounded paths and the registration file list.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core_fakes.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::string Expand(const std::string& name, int* result = nullptr)
{
    char buffer[kTextSize] = {};
    std::memcpy(buffer, name.data(), name.size());
    const int replaced = ExpandCompressedName(buffer);
    if (result)
        *result = replaced;
    return buffer;
}

TEST(ExpandCompressedName, ReplacesTheLastCharacterFromTheTable)
{
    ResetCore();
    const struct {
        const char* compressed;
        const char* expanded;
    } cases[] = {
        {"vsmpl.dl_", "vsmpl.dlL"}, {"HELP.HL_", "HELP.HLP"}, {"a.cf_", "a.cfG"}, {"a.da_", "a.daT"},
        {"a.ei_", "a.eiF"},         {"A.EX_", "A.EXE"},       {"a.do_", "a.doC"}, {"a.cn_", "a.cnT"},
        {"a.sy_", "a.syS"},         {"a.wb_", "a.wbF"},       {"a.Dx_", "a.DxT"}, {"nodotdl_", "nodotdlL"},
    };
    for (const auto& entry : cases) {
        int result = 0;
        EXPECT_EQ(Expand(entry.compressed, &result), entry.expanded);
        EXPECT_EQ(result, 1) << entry.compressed;
    }
    EXPECT_THAT(gFakes.shown, IsEmpty());
}

TEST(ExpandCompressedName, ReportsAndKeepsAnUnknownEnding)
{
    ResetCore();
    int result = 1;
    EXPECT_EQ(Expand("driver.dll_", &result), "driver.dll_");
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Expand("l_", &result), "l_");  // too short for any entry
    EXPECT_EQ(result, 0);
    EXPECT_THAT(gFakes.Texts(),
                ElementsAre("unrecognized extension file name: driver.dll_.", "unrecognized extension file name: l_."));
}

TEST(ChooseDriverEnvironment, FollowsTheRunningSystem)
{
    EXPECT_EQ(ChooseDriverEnvironment(3, true).environment, nullptr);
    EXPECT_STREQ(ChooseDriverEnvironment(4, true).environment, "Windows 4.0");
    EXPECT_EQ(ChooseDriverEnvironment(4, true).cVersion, 0u);
    EXPECT_STREQ(ChooseDriverEnvironment(5, false).environment, "Windows NT x86");
    EXPECT_STREQ(ChooseDriverEnvironment(10, true).environment, "Windows x64");
    EXPECT_EQ(ChooseDriverEnvironment(10, true).cVersion, 3u);
}

TEST(JoinPath, RefusesMoreThan259Characters)
{
    char out[kTextSize];
    const std::string directory(200, 'd');
    EXPECT_TRUE(JoinPath(out, directory.c_str(), std::string(59, 'n').c_str()));
    EXPECT_EQ(std::strlen(out), 259u);
    EXPECT_FALSE(JoinPath(out, directory.c_str(), std::string(60, 'n').c_str()));
    EXPECT_STREQ(out, "");
    EXPECT_TRUE(JoinPath(out, "", "name.dll"));  // no separator is added
    EXPECT_STREQ(out, "name.dll");
}

TEST(DependentFileList, EndsEveryNameAndTheListWithNul)
{
    static DependentFileList list;
    DependentListReset(&list);
    DependentListFinish(&list);
    EXPECT_EQ(std::string(list.bytes, 2), std::string("\0\0", 2));

    DependentListReset(&list);
    ASSERT_TRUE(DependentListAppend(&list, "a.dll"));
    ASSERT_TRUE(DependentListAppend(&list, "b.gpd"));
    DependentListFinish(&list);
    EXPECT_EQ(std::string(list.bytes, 13), std::string("a.dll\0b.gpd\0\0", 13));
}

TEST(DependentFileList, NeverPassesItsSize)
{
    static DependentFileList list;
    DependentListReset(&list);
    const std::string name(199, 'f');  // 200 bytes with its NUL
    for (int i = 0; i < 99; ++i)
        ASSERT_TRUE(DependentListAppend(&list, name.c_str())) << i;
    // 19,800 bytes used: a 198-character name and the closing NUL fill it exactly.
    EXPECT_FALSE(DependentListAppend(&list, std::string(199, 'g').c_str()));
    EXPECT_EQ(list.length, 19800u);
    ASSERT_TRUE(DependentListAppend(&list, std::string(198, 'g').c_str()));
    EXPECT_FALSE(DependentListAppend(&list, ""));
    DependentListFinish(&list);
    EXPECT_EQ(list.length, kDependentListSize - 1);
    EXPECT_EQ(list.bytes[kDependentListSize - 1], '\0');
    EXPECT_EQ(list.bytes[kDependentListSize - 2], '\0');
}

TEST(DependentNameLeavesDirectory, OnlyNamesInsideTheDriverDirectoryPass)
{
    struct Case {
        const char* name;
        bool leaves;
    };
    const Case cases[] = {
        {"VSMPL64.DLL", false},       {"vsmpl.dl_", false},     {"sub\\res.dll", false},
        {"sub/res.dll", false},       {".\\res.dll", false},    {"a..b.dll", false},
        {"..res.dll", false},         {"res.dll..", false},     {"", false},
        {"..\\evil.dll", true},       {"../evil.dll", true},    {"..", true},
        {"sub\\..\\..\\e.dll", true}, {"sub\\..", true},        {"...\\e.dll", true},
        {".. \\e.dll", true},         {"\\evil.dll", true},     {"/evil.dll", true},
        {"\\\\server\\s\\e", true},   {"C:evil.dll", true},     {"C:\\evil.dll", true},
        {"res.dll:stream", true},     {"res.dll::$DATA", true},
    };
    for (const auto& entry : cases)
        EXPECT_EQ(DependentNameLeavesDirectory(entry.name), entry.leaves) << entry.name;
    // Devices: with an extension, trailing dots or spaces, superscript digits
    // in the ANSI code page or in UTF-8; and names that only look like one.
    const Case devices[] = {
        {"CON", true},           {"sub\\nul.dll", true},
        {"Aux.x.y", true},       {"PRN...", true},
        {"NUL . x", true},       {"com1", true},
        {"LPT9.DLL", true},      {"COM\xB9", true},
        {"lpt\xB2.x", true},     {"COM\xC2\xB3.dll", true},
        {"LPT\xC2\xB9 ", true},  {"COM0", false},
        {"LPT10", false},        {"COM\xB4", false},
        {"CONSOLE.DLL", false},  {"con\\x.dll", false},
        {"xnul.dll", false},     {"CO.dll", false},
        {" AUX", false},         {"LPT\xC2", false},
        {"COM\xC2\xB9x", false},
    };
    for (const auto& entry : devices)
        EXPECT_EQ(DependentNameLeavesDirectory(entry.name), entry.leaves) << entry.name;

    // A full-length name is read up to its last character, never past it.
    char full[kTextSize];
    std::memset(full, 'n', kMaxTextLength);
    full[kMaxTextLength] = '\0';
    EXPECT_FALSE(DependentNameLeavesDirectory(full));
    full[kMaxTextLength - 1] = ':';
    EXPECT_TRUE(DependentNameLeavesDirectory(full));

    // The first escaping name of a list is reported, and only that one.
    ResetCore();
    DependentFileEntry entries[4] = {"good.dll", "..\\one.dll", "two.dll:s", "last.dll"};
    DriverConfig config{};
    config.DependentFiles = entries;
    config.DependentFileCount = 4;
    EXPECT_FALSE(DependentFilesStayInDirectory(&config));
    config.DependentFileCount = 1;
    EXPECT_TRUE(DependentFilesStayInDirectory(&config));
    EXPECT_THAT(gFakes.Texts(), ElementsAre("Driver file name '..\\one.dll' leaves the driver directory."));
}

TEST(DeclaredExpandedSize, ReadsTheCompressedHeader)
{
    const unsigned char header[] = {'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x33, 'A', 0, 0xD7, 0x11, 0x01, 0x00};
    std::uint32_t size = 0;
    EXPECT_TRUE(DeclaredExpandedSize(header, sizeof header, &size));
    EXPECT_EQ(size, 0x111D7u);
    EXPECT_FALSE(DeclaredExpandedSize(header, sizeof header - 1, &size));
    const unsigned char plain[14] = {'M', 'Z'};
    EXPECT_FALSE(DeclaredExpandedSize(plain, sizeof plain, &size));
}

}  // namespace
