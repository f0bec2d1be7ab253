// The rules behind packed atoms, the Windows version flags and the
// device-mode dump, checked without Windows.
#include "system/core/atom_packing.h"
#include "trace/core/devmode_lines.h"
#include "system/core/windows_version.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace vr::system;

// An atom table with the global table's counting: adding a known text
// raises its count, and it is gone when the count drops to 0.
class FakeAtomTable final : public atoms::AtomTable {
public:
    std::uint16_t add(const wchar_t* text) noexcept override
    {
        ++adds;
        if (failAddNumber != 0 && adds == failAddNumber)
            return 0;
        const std::wstring key(text);
        for (auto& [atom, entry] : entries)
            if (entry.text == key) {
                ++entry.count;
                return atom;
            }
        const std::uint16_t atom = next++;
        entries[atom] = {key, 1};
        return atom;
    }
    std::size_t name(std::uint16_t atom, std::span<wchar_t, atoms::kBufferChars> buffer) noexcept override
    {
        auto found = entries.find(atom);
        if (found == entries.end() || found->second.text.size() >= buffer.size())
            return 0;
        std::copy(found->second.text.begin(), found->second.text.end(), buffer.begin());
        buffer[found->second.text.size()] = L'\0';
        return found->second.text.size();
    }
    void remove(std::uint16_t atom) noexcept override
    {
        auto found = entries.find(atom);
        if (found != entries.end() && --found->second.count == 0)
            entries.erase(found);
    }

    std::wstring text(std::uint16_t atom) const
    {
        auto found = entries.find(atom);
        return found == entries.end() ? L"<none>" : found->second.text;
    }

    struct Entry {
        std::wstring text;
        int count;
    };
    std::map<std::uint16_t, Entry> entries;
    std::uint16_t next = 0xC000;
    int adds = 0;
    int failAddNumber = 0;  // the add that fails, counted from 1
};

// A text whose chunks differ from each other and from other texts: CJK
// characters have no case, so no chunk matches another case-insensitively.
std::wstring sampleText(std::size_t length, unsigned seed = 0)
{
    std::wstring text;
    for (std::size_t i = 0; i < length; ++i)
        text.push_back(static_cast<wchar_t>(0x4E00 + seed * 2500 + i));
    return text;
}

std::wstring read(FakeAtomTable& table, std::uint16_t atom, int capacity)
{
    std::vector<wchar_t> out(static_cast<std::size_t>(capacity), L'?');
    atoms::readPacked(table, atom, out);
    return std::wstring(out.data());
}

TEST(PackedAtoms, ShortTextIsOneAtomAndLongTextAListOfChunks)
{
    FakeAtomTable table;
    const std::wstring text127 = sampleText(127);
    const std::uint16_t plain = atoms::addPacked(table, text127);
    EXPECT_EQ(table.text(plain), text127);
    EXPECT_EQ(table.entries.size(), 1u);

    const std::wstring text300 = sampleText(300, 1);
    const std::uint16_t packed = atoms::addPacked(table, text300);
    EXPECT_EQ(table.text(packed), L"VRPackedString: 49153 49154 49155 ");
    EXPECT_EQ(packed, 49156);
    EXPECT_EQ(table.text(49153), text300.substr(0, 127));
    EXPECT_EQ(table.text(49154), text300.substr(127, 127));
    EXPECT_EQ(table.text(49155), text300.substr(254));
}

TEST(PackedAtoms, ChunkBoundaries)
{
    for (std::size_t length : {128u, 254u, 255u, 2286u}) {
        SCOPED_TRACE(length);
        FakeAtomTable table;
        const std::wstring text = sampleText(length);
        const std::uint16_t packed = atoms::addPacked(table, text);
        ASSERT_NE(packed, 0);
        const std::size_t chunks = (length + 126) / 127;
        EXPECT_EQ(table.entries.size(), chunks + 1);
        EXPECT_EQ(read(table, packed, 4000), text);
        // Only the list is left; the reader never deletes it.
        EXPECT_EQ(table.entries.size(), 1u);
        EXPECT_EQ(table.entries.count(packed), 1u);
    }
}

TEST(PackedAtoms, TooLongOrFailedTextLeavesNothingBehind)
{
    FakeAtomTable table;
    EXPECT_EQ(atoms::addPacked(table, sampleText(2287)), 0);
    EXPECT_TRUE(table.entries.empty());

    // A failed chunk would leave a hole in the text; a failed list would
    // strand every chunk.
    for (int failing : {1, 2, 3}) {
        SCOPED_TRACE(failing);
        FakeAtomTable failingTable;
        failingTable.failAddNumber = failing;
        EXPECT_EQ(atoms::addPacked(failingTable, sampleText(200)), 0);
        EXPECT_TRUE(failingTable.entries.empty());
    }
}

TEST(PackedAtoms, RepeatedChunksShareOneCountedAtom)
{
    FakeAtomTable table;
    const std::wstring text(254, L'x');
    const std::uint16_t packed = atoms::addPacked(table, text);
    EXPECT_EQ(table.entries.size(), 2u);
    EXPECT_EQ(read(table, packed, 300), text);
    EXPECT_EQ(table.entries.size(), 1u);
}

TEST(PackedAtoms, ShortBufferTakesLeadingWholeChunksAndLeavesTheRest)
{
    FakeAtomTable table;
    const std::wstring text = sampleText(300);
    const std::uint16_t packed = atoms::addPacked(table, text);

    // 254 characters need 255 with the NUL.
    EXPECT_EQ(read(table, packed, 254), text.substr(0, 127));
    EXPECT_EQ(table.entries.count(49152), 0u);
    EXPECT_EQ(table.entries.count(49153), 1u);
    EXPECT_EQ(table.entries.count(49154), 1u);

    // A second reader gets what the first left.
    EXPECT_EQ(read(table, packed, 1000), text.substr(127));
    EXPECT_EQ(read(table, packed, 1000), L"");
}

TEST(PackedAtoms, PlainAtomIsCutToCapacityAndKept)
{
    FakeAtomTable table;
    const std::uint16_t atom = atoms::addPacked(table, L"printer-job");
    EXPECT_EQ(read(table, atom, 1), L"");
    EXPECT_EQ(read(table, atom, 6), L"print");
    EXPECT_EQ(read(table, atom, 12), L"printer-job");
    EXPECT_EQ(table.entries.count(atom), 1u);
    EXPECT_EQ(read(table, 0x1234, 20), L"");

    std::array<wchar_t, 1> untouched{L'?'};
    atoms::readPacked(table, atom, std::span<wchar_t>(untouched.data(), 0));
    EXPECT_EQ(untouched[0], L'?');
}

TEST(PackedAtoms, ShortTextWithTheMarkerReadsAsAList)
{
    FakeAtomTable table;
    const std::uint16_t chunk = table.add(L"hello");
    const std::uint16_t other = table.add(L"world");
    const std::wstring list =
        L"VRPackedString:  0 " + std::to_wstring(chunk) + L" 12 " + std::to_wstring(other + 0x10000) + L"x ";
    const std::uint16_t atom = atoms::addPacked(table, list);
    EXPECT_EQ(table.text(atom), list);
    // Empty tokens, 0 and unknown atoms are skipped; a token counts up to
    // its first non-digit and wraps to 16 bits.
    EXPECT_EQ(read(table, atom, 100), L"helloworld");
}

TEST(PackedAtoms, TokensReadLikeTheCLibrary)
{
    EXPECT_EQ(atoms::tokenToAtom(L"VRPackedString:"), 0);
    EXPECT_EQ(atoms::tokenToAtom(L"49153"), 49153);
    EXPECT_EQ(atoms::tokenToAtom(L"+7z"), 7);
    EXPECT_EQ(atoms::tokenToAtom(L"-1"), 0xFFFF);
    EXPECT_EQ(atoms::tokenToAtom(L"65537"), 1);
    EXPECT_EQ(atoms::tokenToAtom(L"99999999999999999999"), 0xFFFF);  // INT_MAX
    EXPECT_EQ(atoms::tokenToAtom(L"-99999999999999999999"), 0x0000);  // INT_MIN
}

TEST(OsVersionFlags, OneFlagPerFamily)
{
    using osversion::flagsFor;
    struct Case {
        std::uint32_t platform, major, minor, flag;
    };
    const Case cases[] = {
        {0, 3, 11, 0x1},  {1, 4, 0, 0x2},    {1, 4, 1, 0},      {1, 4, 9, 0},       {1, 4, 10, 0x4}, {1, 4, 89, 0x4},
        {1, 4, 90, 0x8},  {1, 4, 255, 0x8},  {2, 3, 51, 0x20},  {2, 4, 0, 0x20},    {2, 5, 0, 0x40}, {2, 5, 1, 0x80},
        {2, 5, 2, 0x100}, {2, 5, 3, 0x8000}, {2, 6, 0, 0x8000}, {2, 10, 0, 0x8000}, {3, 5, 0, 0},    {7, 6, 1, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(flagsFor({c.platform, c.major, c.minor}), c.flag) << c.platform << " " << c.major << "." << c.minor;
}

TEST(OsVersionFlags, NamespacesFromNT5AndVistaFromMajor6)
{
    EXPECT_FALSE(osversion::hasSessionNamespaces({2, 4, 0}));
    EXPECT_TRUE(osversion::hasSessionNamespaces({2, 5, 0}));
    EXPECT_FALSE(osversion::hasSessionNamespaces({1, 4, 90}));
    EXPECT_FALSE(osversion::isVistaOrLater({2, 5, 2}));
    EXPECT_TRUE(osversion::isVistaOrLater({2, 6, 0}));
}

// The dump as text, names shown as <device> and <form>.
std::vector<std::string> dumpText(const vr::trace::devmode::Members& members,
                                  vr::trace::devmode::Variant variant = vr::trace::devmode::Variant::Wide)
{
    std::array<vr::trace::devmode::Line, vr::trace::devmode::kMaxLines> lines{};
    const std::size_t count = vr::trace::devmode::dumpLines(members, variant, lines);
    std::vector<std::string> text;
    for (std::size_t i = 0; i < count; ++i) {
        char buffer[128];
        if (lines[i].kind == vr::trace::devmode::Kind::Number)
            std::snprintf(buffer, sizeof buffer, lines[i].format, lines[i].number);
        else
            std::snprintf(buffer, sizeof buffer, "%s [%s]", lines[i].format,
                          lines[i].name == vr::trace::devmode::NameMember::DeviceName ? "device" : "form");
        text.emplace_back(buffer);
    }
    return text;
}

TEST(DevModeDump, FourFixedLinesWhateverTheFields)
{
    vr::trace::devmode::Members members{};
    members.size = 220;
    members.driverExtra = 0xFFFF;
    members.orientation = 1;
    EXPECT_EQ(dumpText(members), (std::vector<std::string>{"pdmIn->dmDeviceName = %S [device]", "pdmIn->dmSize = 220",
                                                           "pdmIn->dmDriverExtra = 65535", "pdmIn->dmFields = 0x0"}));
    // Bits without a row add nothing.
    members.fields = 0x20 | 0x40 | 0x80 | 0x00200000 | 0x80000000;
    EXPECT_EQ(dumpText(members).size(), 4u);
    EXPECT_EQ(dumpText(members)[3], "pdmIn->dmFields = 0x802000e0");
}

TEST(DevModeDump, SelectedMembersInTableOrder)
{
    vr::trace::devmode::Members members{};
    members.fields = 0x00011002;
    members.paperSize = 9;
    members.duplex = 2;
    const auto wide = dumpText(members);
    ASSERT_EQ(wide.size(), 7u);
    EXPECT_EQ(wide[3], "pdmIn->dmFields = 0x11002");
    EXPECT_EQ(wide[4], "pdmIn->dmPaperSize = 9");
    EXPECT_EQ(wide[5], "pdmIn->dmDuplex = 2");
    EXPECT_EQ(wide[6], "pdmIn->dmFormName = %S [form]");

    const auto narrow = dumpText(members, vr::trace::devmode::Variant::Narrow);
    EXPECT_EQ(narrow[0], "pdmIn->dmDeviceName = %s [device]");
    EXPECT_EQ(narrow[6], "pdmIn->dmFormName = %s [form]");
}

TEST(DevModeDump, EveryMemberWithItsSignedness)
{
    vr::trace::devmode::Members members{};
    members.fields = 0x001FFF1F;
    members.orientation = 0xFFFE;
    members.paperSize = 1;
    members.paperLength = 2970;
    members.paperWidth = 2100;
    members.scale = 100;
    members.copies = 3;
    members.defaultSource = 0xFFFF;
    members.printQuality = 0xFFFD;
    members.color = 2;
    members.duplex = 3;
    members.yResolution = 600;
    members.ttOption = 1;
    members.collate = 1;
    members.logPixels = 0xFFFF;
    members.bitsPerPel = 0xFFFFFFFF;
    members.pelsWidth = 4960;
    members.pelsHeight = 0x80000000;
    const std::vector<std::string> expected = {"pdmIn->dmDeviceName = %S [device]",
                                               "pdmIn->dmSize = 0",
                                               "pdmIn->dmDriverExtra = 0",
                                               "pdmIn->dmFields = 0x1fff1f",
                                               "pdmIn->dmOrientation = -2",
                                               "pdmIn->dmPaperSize = 1",
                                               "pdmIn->dmPaperLength = 2970",
                                               "pdmIn->dmPaperWidth = 2100",
                                               "pdmIn->dmScale = 100",
                                               "pdmIn->dmCopies = 3",
                                               "pdmIn->dmDefaultSource = -1",
                                               "pdmIn->dmPrintQuality = -3",
                                               "pdmIn->dmColor = 2",
                                               "pdmIn->dmDuplex = 3",
                                               "pdmIn->dmYResolution = 600",
                                               "pdmIn->dmTTOption = 1",
                                               "pdmIn->dmCollate = 1",
                                               "pdmIn->dmFormName = %S [form]",
                                               "pdmIn->dmLogPixels = 65535",
                                               "pdmIn->dmBitsPerPel = -1",
                                               "pdmIn->dmPelsWidth = 4960",
                                               "pdmIn->dmPelsHeight = -2147483648"};
    EXPECT_EQ(dumpText(members), expected);
}

}  // namespace
