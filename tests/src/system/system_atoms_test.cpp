// Packed atoms on the real global atom table, between processes.
#include "vrcommon.h"

#include "file_bytes.h"
#include "helper_programs.h"
#include "text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using vr::test::runHelper;
using vr::test::sampleText;

std::wstring outputFile()
{
    return vr::test::windowsPath(VR_TEST_DIR) + L"\\system_atoms_" + std::to_wstring(GetCurrentProcessId()) + L".txt";
}

// What the helper process reads from the atom with the given capacity.
std::wstring readInHelper(ATOM atom, int capacity)
{
    const std::wstring file = outputFile();
    if (runHelper(L"atom-read " + std::to_wstring(atom) + L" " + std::to_wstring(capacity) + L" \"" + file + L"\"") !=
        0)
        return L"<helper failed>";
    const std::string bytes = vr::test::readFileBytes(file);
    DeleteFileW(file.c_str());
    std::wstring text(bytes.size() / sizeof(wchar_t), L'\0');
    std::memcpy(text.data(), bytes.data(), text.size() * sizeof(wchar_t));
    return text;
}

std::wstring readHere(ATOM atom, int capacity)
{
    std::vector<wchar_t> buffer(static_cast<std::size_t>(capacity), L'?');
    EXPECT_EQ(VRC_GetPackedAtom(atom, buffer.data(), capacity), buffer.data());
    return buffer.data();
}

bool inAtomTable(const std::wstring& text) { return GlobalFindAtomW(text.c_str()) != 0; }

TEST(PackedAtoms, RoundTripToAnotherProcessAtChunkBoundaries)
{
    unsigned seed = 0;
    for (std::size_t length : {1u, 127u, 128u, 254u, 2286u}) {
        SCOPED_TRACE(length);
        const std::wstring text = sampleText(length, seed++);
        const ATOM atom = VRC_AddPackedAtom(text.c_str());
        ASSERT_NE(atom, 0);
        if (length >= 128) {
            wchar_t list[128] = {};
            ASSERT_GT(GlobalGetAtomNameW(atom, list, 128), 0u);
            EXPECT_EQ(std::wstring(list).rfind(L"VRPackedString: ", 0), 0u) << list;
        }
        EXPECT_EQ(readInHelper(atom, 4000), text);
        // The reader deletes the chunks it took, never the atom it was given.
        EXPECT_EQ(inAtomTable(text.substr(0, 127)), length < 128);
        GlobalDeleteAtom(atom);
    }
}

TEST(PackedAtoms, RoundTripFromAnotherProcess)
{
    const std::wstring text = sampleText(1000, 5);
    const long atom = runHelper(L"atom-add 1000 5");
    ASSERT_GE(atom, 0xC000);
    EXPECT_EQ(readHere(static_cast<ATOM>(atom), 1001), text);
    GlobalDeleteAtom(static_cast<ATOM>(atom));
}

TEST(PackedAtoms, TooLongTextIsRefusedAndLeavesNoChunk)
{
    const std::wstring text = sampleText(2287, 6);
    EXPECT_EQ(VRC_AddPackedAtom(text.c_str()), 0);
    EXPECT_FALSE(inAtomTable(text.substr(0, 127)));
    EXPECT_FALSE(inAtomTable(text.substr(127, 127)));
    EXPECT_EQ(VRC_AddPackedAtom(nullptr), 0);
}

TEST(PackedAtoms, ShortBufferTakesLeadingWholeChunksAndLeavesTheRest)
{
    const std::wstring text = sampleText(300, 7);
    const ATOM atom = VRC_AddPackedAtom(text.c_str());
    ASSERT_NE(atom, 0);

    // 254 characters and a NUL do not fit 254: only the first chunk is taken.
    EXPECT_EQ(readInHelper(atom, 254), text.substr(0, 127));
    EXPECT_FALSE(inAtomTable(text.substr(0, 127)));
    EXPECT_TRUE(inAtomTable(text.substr(127, 127)));
    EXPECT_TRUE(inAtomTable(text.substr(254)));

    // Another reader finds what was left, and after that nothing.
    EXPECT_EQ(readHere(atom, 255), text.substr(127));
    EXPECT_EQ(readHere(atom, 255), L"");
    GlobalDeleteAtom(atom);
}

TEST(PackedAtoms, PlainAtomIsCutAndKeptAndBadCapacitiesGiveNothing)
{
    const ATOM atom = VRC_AddPackedAtom(L"Veranto job 42");
    ASSERT_NE(atom, 0);
    EXPECT_EQ(readHere(atom, 8), L"Veranto");
    EXPECT_EQ(readInHelper(atom, 100), L"Veranto job 42");
    EXPECT_TRUE(inAtomTable(L"Veranto job 42"));

    wchar_t untouched[4] = L"abc";
    EXPECT_EQ(VRC_GetPackedAtom(atom, untouched, 0), untouched);
    EXPECT_EQ(VRC_GetPackedAtom(atom, untouched, -5), untouched);
    EXPECT_EQ(std::wstring(untouched), L"abc");
    EXPECT_EQ(VRC_GetPackedAtom(atom, nullptr, 10), nullptr);
    GlobalDeleteAtom(atom);

    // An atom that no longer exists reads as the empty string.
    EXPECT_EQ(readHere(atom, 10), L"");
}

}  // namespace
