// Staging decisions that need no spooler: compressed names, the environment
// for the running system, bounded paths and the registration file list.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "code_page_text.h"
#include "core_fakes.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::string Expand(const std::string& name, int* result = nullptr)
{
    char buffer[kFieldSize] = {};
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
    char out[kFieldSize];
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

DependentNameCheck Check(unsigned codePage, const char* name)
{
    return CheckDependentName(name, NameDecoder{codePage, vr::test::decodeCodePage});
}

TEST(CheckDependentName, OnlyNamesInsideTheDriverDirectoryPass)
{
    constexpr auto kIn = DependentNameCheck::InDirectory;
    constexpr auto kOut = DependentNameCheck::LeavesDirectory;
    constexpr auto kNotText = DependentNameCheck::NotInCodePage;
    struct Case {
        const char* name;
        DependentNameCheck check;
    };
    const Case cases[] = {
        {"VSMPL64.DLL", kIn},         {"vsmpl.dl_", kIn},       {"sub\\res.dll", kIn},
        {"sub/res.dll", kIn},         {".\\res.dll", kIn},      {"a..b.dll", kIn},
        {"..res.dll", kIn},           {"res.dll..", kIn},       {"", kIn},
        {"..\\evil.dll", kOut},       {"../evil.dll", kOut},    {"..", kOut},
        {"sub\\..\\..\\e.dll", kOut}, {"sub\\..", kOut},        {"...\\e.dll", kOut},
        {".. \\e.dll", kOut},         {"\\evil.dll", kOut},     {"/evil.dll", kOut},
        {"\\\\server\\s\\e", kOut},   {"C:evil.dll", kOut},     {"C:\\evil.dll", kOut},
        {"res.dll:stream", kOut},     {"res.dll::$DATA", kOut},
    };
    for (const auto& entry : cases)
        EXPECT_EQ(Check(1252, entry.name), entry.check) << entry.name;
    // Devices: with an extension, trailing dots or spaces, superscript digits;
    // and names that only look like one.
    const Case devices[] = {
        {"CON", kOut},   {"sub\\nul.dll", kOut}, {"Aux.x.y", kOut},    {"PRN...", kOut},    {"NUL . x", kOut},
        {"com1", kOut},  {"LPT9.DLL", kOut},     {"COM\xB9", kOut},    {"lpt\xB2.x", kOut}, {"COM0", kIn},
        {"LPT10", kIn},  {"COM\xB4", kIn},       {"CONSOLE.DLL", kIn}, {"con\\x.dll", kIn}, {"xnul.dll", kIn},
        {"CO.dll", kIn}, {" AUX", kIn},
    };
    for (const auto& entry : devices)
        EXPECT_EQ(Check(1252, entry.name), entry.check) << entry.name;
    // The same bytes read in the code page the file calls use: a superscript
    // written in UTF-8; in 932 a 0x5C after a lead byte is half of a
    // character (0x95 0x5C is U+8868), never a separator.
    const struct {
        unsigned codePage;
        Case entry;
    } readIn[] = {
        {65001, {"COM\xC2\xB3.dll", kOut}}, {1252, {"COM\xC2\xB3.dll", kIn}},  {65001, {"LPT\xC2\xB9 ", kOut}},
        {65001, {"COM\xC2\xB9x", kIn}},     {65001, {"LPT\xC2", kNotText}},    {932, {"CON.\x95\x5Cx", kOut}},
        {1252, {"CON.\x95\x5Cx", kIn}},     {932, {"\x95\x5C..", kIn}},        {1252, {"\x95\x5C..", kOut}},
        {932, {"a\x95\x5C\x43ON", kIn}},    {1252, {"a\x95\x5C\x43ON", kOut}}, {932, {"\x82\xA0\\..\\e", kOut}},
        {932, {"\x82\xA0\\LPT1", kOut}},    {932, {"abc\x95", kNotText}},      {932, {"\x81\x7F", kNotText}},
    };
    for (const auto& [codePage, entry] : readIn)
        EXPECT_EQ(Check(codePage, entry.name), entry.check) << codePage << ": " << entry.name;

    // A full-length name is read up to its last character, never past it.
    char full[kFieldSize];
    std::memset(full, 'n', kMaxFieldLength);
    full[kMaxFieldLength] = '\0';
    EXPECT_EQ(Check(1252, full), kIn);
    full[kMaxFieldLength - 1] = ':';
    EXPECT_EQ(Check(1252, full), kOut);

    // The first refused name of a list is reported, and only that one.
    ResetCore();
    DependentFileEntry entries[4] = {"good.dll", "..\\one.dll", "two.dll:s", "last\x95"};
    DriverConfig config{};
    config.DependentFiles = entries;
    config.DependentFileCount = 4;
    const NameDecoder japanese{932, vr::test::decodeCodePage};
    EXPECT_FALSE(DependentFilesStayInDirectory(&config, japanese));
    config.DependentFileCount = 1;
    EXPECT_TRUE(DependentFilesStayInDirectory(&config, japanese));
    config.DependentFiles = entries + 3;
    EXPECT_FALSE(DependentFilesStayInDirectory(&config, japanese));
    EXPECT_THAT(gFakes.Texts(), ElementsAre("Driver file name '..\\one.dll' leaves the driver directory.",
                                            "Driver file name 'last\x95' is not text in this system's code page."));
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
