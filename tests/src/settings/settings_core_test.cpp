// The settings and folder decisions that need no Windows.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "settings/core/settings_rules.h"

using namespace vr::settings;

TEST(SettingRules, GettersTurnStoredNumbersIntoTheirResults)
{
    // value ≠ 0 settings: any nonzero number enables.
    EXPECT_EQ(settingResult(kEnableUserAuth, true, 7), 1u);
    EXPECT_EQ(settingResult(kEnableUserAuth, true, 0), 0u);
    // value = 1 settings: a REG_SZ "1" read as a DWORD is 0x31 and does not count.
    EXPECT_EQ(settingResult(kServer, true, 1), 1u);
    EXPECT_EQ(settingResult(kServer, true, 0x31), 0u);
    EXPECT_EQ(settingResult(kServer, true, 2), 0u);
    // Sessions: a stored 0 falls back to 100, any other number is taken.
    EXPECT_EQ(settingResult(kSessions, true, 0), 100u);
    EXPECT_EQ(settingResult(kSessions, true, 7), 7u);
    // The plug-in cache count keeps a stored 0.
    EXPECT_EQ(settingResult(kPluginCacheCount, true, 0), 0u);
    EXPECT_EQ(settingResult(kPluginCacheCount, true, 12), 12u);
}

TEST(SettingRules, PrinterAttributes)
{
    EXPECT_EQ(printerAttributes(true, 1, true), 0x1040u);
    EXPECT_EQ(printerAttributes(true, 0, false), 0x40u);
    EXPECT_EQ(printerAttributes(true, 0x31, false), 0x40u);
    EXPECT_EQ(printerAttributes(false, 0, true), 0x40u);
    EXPECT_EQ(printerAttributes(false, 0, false), 0x1040u);
}

TEST(FolderCapacity, ResultLengthPlusOneIsTheBoundary)
{
    // base + "\Norvessa Corporation\Veranto 6.2" is base + 33 characters.
    EXPECT_TRUE(productPathFits(10, 10 + 33 + 1));
    EXPECT_FALSE(productPathFits(10, 10 + 33));
    // logs folder + "\Veranto 6.2" is base + 12 characters.
    EXPECT_TRUE(logsPathFits(10, 10 + 12 + 1));
    EXPECT_FALSE(logsPathFits(10, 10 + 12));
}

TEST(FolderCapacity, SpoolPathNeedsOneCharacterMore)
{
    // data + "\SPOOL" is data + 6 characters; the spool path asks for data + 8.
    const std::size_t data = 40;
    EXPECT_TRUE(spoolSeparatorFits(data, data + 2));
    EXPECT_FALSE(spoolSeparatorFits(data, data + 1));
    EXPECT_TRUE(spoolNameFits(data + 1, data + 8));
    EXPECT_FALSE(spoolNameFits(data + 1, data + 7));
}

TEST(WideTextInCallerBuffer, AppendsFitWithTheirNulOrChangeNothing)
{
    std::array<wchar_t, 8> buffer;
    buffer.fill(L'#');
    WideText text(buffer);
    EXPECT_TRUE(text.assign(L"abc"));
    EXPECT_TRUE(text.append(L"defg"));  // 7 characters and the NUL: exactly full
    EXPECT_FALSE(text.append(L"h"));
    EXPECT_EQ(std::wstring(text.c_str()), L"abcdefg");
    EXPECT_EQ(text.length(), 7u);
    EXPECT_FALSE(text.assign(L"12345678"));
    EXPECT_EQ(std::wstring(text.c_str()), L"abcdefg");
}

TEST(WideTextInCallerBuffer, AdoptingAnUnterminatedBufferKeepsNothing)
{
    std::array<wchar_t, 4> buffer{L'a', L'b', L'c', L'd'};
    WideText text = WideText::adopt(buffer);
    EXPECT_EQ(text.length(), 0u);
    EXPECT_EQ(buffer[0], L'\0');

    std::array<wchar_t, 6> held{L'x', L'y', L'\0', L'#', L'#', L'#'};
    WideText kept = WideText::adopt(held);
    EXPECT_EQ(kept.length(), 2u);
    EXPECT_TRUE(kept.append(L"zw"));
    EXPECT_EQ(std::wstring(kept.c_str()), L"xyzw");
}

TEST(ReadTextTermination, StoredTextsWithoutNulAreTerminatedOrRefused)
{
    constexpr std::size_t unit = sizeof(wchar_t);
    std::array<wchar_t, 4> buffer{L'a', L'b', L'\0', L'#'};
    EXPECT_TRUE(terminateReadText(buffer, 3 * unit));  // already has its NUL

    buffer = {L'a', L'b', L'c', L'#'};
    EXPECT_TRUE(terminateReadText(buffer, 3 * unit));  // room after the text
    EXPECT_EQ(buffer[3], L'\0');

    buffer = {L'a', L'b', L'c', L'd'};
    EXPECT_FALSE(terminateReadText(buffer, 4 * unit));  // fills the buffer, no NUL
    EXPECT_FALSE(terminateReadText(buffer, 40 * unit));  // a size beyond the buffer is bounded by it

    buffer = {L'a', L'#', L'#', L'#'};
    EXPECT_TRUE(terminateReadText(buffer, unit + 1));  // half a character counts as one
    EXPECT_EQ(buffer[2], L'\0');

    std::array<wchar_t, 1> empty{L'#'};
    EXPECT_TRUE(terminateReadText(empty, 0));
    EXPECT_EQ(empty[0], L'\0');
    EXPECT_FALSE(terminateReadText(std::span<wchar_t>(), 0));
}

TEST(DefaultProduct, IsCutToTheBufferAndAlwaysTerminated)
{
    std::array<wchar_t, 6> roomy;
    roomy.fill(L'#');
    fillDefaultProduct(roomy);
    EXPECT_EQ(std::wstring(roomy.data()), L"VRC");
    EXPECT_EQ(roomy[4], L'\0');
    EXPECT_EQ(roomy[5], L'\0');

    std::array<wchar_t, 3> tight;
    tight.fill(L'#');
    fillDefaultProduct(tight);
    EXPECT_EQ(std::wstring(tight.data()), L"VR");

    std::array<wchar_t, 1> single{L'#'};
    fillDefaultProduct(single);
    EXPECT_EQ(single[0], L'\0');
    fillDefaultProduct(std::span<wchar_t>());
}
