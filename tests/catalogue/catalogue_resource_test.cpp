// The built VRCCLN62.dll as the platform's loader sees it: its message table
// read through the resource functions and checked against the layout the
// formatter relies on, its other resources, and what it exports and imports.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "message_tool.h"
#include "platform/handles.h"
#include "text.h"
#include "wine_paths.h"
#include "vrc_messages.h"
#include "vrc_settings.h"

using namespace vr::catalogue;

namespace {

constexpr WORD kEnglishUs = 1033;

HMODULE catalogueData()
{
    static HMODULE module = LoadLibraryExW(L"VRCCLN62.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    return module;
}

std::span<const uint8_t> resourceBytes(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language)
{
    HRSRC resource = FindResourceExW(module, type, name, language);
    if (!resource)
        return {};
    HGLOBAL loaded = LoadResource(module, resource);
    return {static_cast<const uint8_t*>(LockResource(loaded)), SizeofResource(module, resource)};
}

std::vector<uintptr_t> resourceNames(HMODULE module, LPCWSTR type)
{
    std::vector<uintptr_t> names;
    EnumResourceNamesW(
        module, type,
        [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR list) -> BOOL {
            reinterpret_cast<std::vector<uintptr_t>*>(list)->push_back(IS_INTRESOURCE(name) ? uintptr_t(name)
                                                                                            : ~uintptr_t(0));
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&names));
    return names;
}

std::vector<WORD> resourceLanguages(HMODULE module, LPCWSTR type, LPCWSTR name)
{
    std::vector<WORD> languages;
    EnumResourceLanguagesW(
        module, type, name,
        [](HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR list) -> BOOL {
            reinterpret_cast<std::vector<WORD>*>(list)->push_back(language);
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&languages));
    return languages;
}

class CatalogueResource : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(catalogueData(), nullptr) << GetLastError();
        bytes = resourceBytes(catalogueData(), MAKEINTRESOURCEW(11), MAKEINTRESOURCEW(1), kEnglishUs);
        ASSERT_FALSE(bytes.empty());
        table = MessageTable::parse(bytes);
        ASSERT_TRUE(table);
    }
    std::u16string textOf(uint32_t id)
    {
        const MessageEntry* entry = table->find(id);
        return entry ? table->text(*entry) : u"<missing>";
    }

    std::span<const uint8_t> bytes;
    std::optional<MessageTable> table;
};

}  // namespace

TEST_F(CatalogueResource, IsTheOnlyMessageTableAndEnglishOnly)
{
    EXPECT_THAT(resourceNames(catalogueData(), MAKEINTRESOURCEW(11)), ::testing::ElementsAre(1u));
    EXPECT_THAT(resourceLanguages(catalogueData(), MAKEINTRESOURCEW(11), MAKEINTRESOURCEW(1)),
                ::testing::ElementsAre(kEnglishUs));
}

TEST_F(CatalogueResource, BlocksAreMaximalRunsWithEntriesBackToBack)
{
    const auto& blocks = table->blocks();
    ASSERT_EQ(blocks.size(), 99u);
    EXPECT_EQ(blocks.front().entryOffset, 1192u);
    uint32_t expectedOffset = 1192;
    size_t entry = 0;
    for (size_t i = 0; i < blocks.size(); ++i) {
        // No two blocks abut: otherwise they would be one run.
        if (i > 0) {
            EXPECT_GT(uint64_t(blocks[i].lowId), uint64_t(blocks[i - 1].highId) + 1) << i;
        }
        EXPECT_EQ(blocks[i].entryOffset, expectedOffset) << "block " << i;
        for (uint32_t id = blocks[i].lowId; id <= blocks[i].highId; ++id, ++entry)
            expectedOffset += table->entries()[entry].length;
    }
    EXPECT_EQ(expectedOffset, bytes.size());
    EXPECT_EQ(table->entries().front().id, 0x2FF11B7Fu);
    EXPECT_EQ(table->entries().back().id, 0xAFFC1B8Cu);
}

TEST_F(CatalogueResource, EntriesAreUtf16WithOneOrTwoTerminatingNuls)
{
    ASSERT_EQ(table->entries().size(), 672u);
    for (const MessageEntry& entry : table->entries()) {
        EXPECT_EQ(entry.flags, kEntryUtf16) << std::hex << entry.id;
        const size_t characters = table->text(entry).size();
        // The text, its NUL, and one more NUL only where the length needs it.
        const size_t expected = 4 + ((characters + 1) * 2 + 3) / 4 * 4;
        EXPECT_EQ(entry.length, expected) << std::hex << entry.id;
    }
}

TEST_F(CatalogueResource, IdentifierFieldsCountsPerSeverityAndFacility)
{
    std::map<unsigned, int> severities;
    std::map<unsigned, int> facilities;
    for (const MessageEntry& entry : table->entries()) {
        EXPECT_TRUE(entry.id & 0x20000000) << "customer bit " << std::hex << entry.id;
        EXPECT_FALSE(entry.id & 0x10000000) << "reserved bit " << std::hex << entry.id;
        ++severities[severityOf(entry.id)];
        ++facilities[facilityOf(entry.id)];
    }
    EXPECT_EQ(severities, (std::map<unsigned, int>{{0, 201}, {1, 13}, {2, 458}}));
    EXPECT_EQ(facilities, (std::map<unsigned, int>{{0x104, 1},
                                                   {0xFF1, 261},
                                                   {0xFF2, 116},
                                                   {0xFF4, 52},
                                                   {0xFF5, 60},
                                                   {0xFF6, 17},
                                                   {0xFF7, 66},
                                                   {0xFF9, 49},
                                                   {0xFFA, 3},
                                                   {0xFFB, 3},
                                                   {0xFFC, 43},
                                                   {0xFFD, 1}}));
}

TEST_F(CatalogueResource, EachTextCodeStandsOnOneMessage)
{
    std::map<std::u16string, uint32_t> codes;
    int shifted = 0;
    for (const MessageEntry& entry : table->entries()) {
        const auto code = textCode(table->text(entry));
        if (!code)
            continue;
        EXPECT_TRUE(codes.emplace(*code, entry.id).second) << "twice: " << std::string(code->begin(), code->end());
        const unsigned digits = std::stoul(std::string(code->begin() + 3, code->end()));
        if (digits != codeOf(entry.id))
            ++shifted;
    }
    EXPECT_EQ(codes.size(), 399u);
    EXPECT_EQ(std::count_if(codes.begin(), codes.end(), [](const auto& c) { return c.first.starts_with(u"ERR"); }), 5);
    // The output width message carries VRC1180, and 0xAFF91467 on carry their code plus one.
    EXPECT_EQ(shifted, 21);
    EXPECT_EQ(codes[u"VRC1180"], 0xA1040001u);
    EXPECT_EQ(codes[u"VRC5224"], 0xAFF91467u);
    EXPECT_EQ(codes[u"VRC5243"], 0xAFF9147Au);
    EXPECT_EQ(codes.count(u"VRC5223"), 0u);
    EXPECT_EQ(codes[u"VRC4510"], 0x6FFD119Eu);
}

TEST_F(CatalogueResource, TextConventions)
{
    int withEndMark = 0;
    for (const MessageEntry& entry : table->entries()) {
        const std::u16string text = table->text(entry);
        EXPECT_TRUE(text.ends_with(u"\r\n")) << std::hex << entry.id;
        if (text.find(u"%0") != std::u16string::npos)
            ++withEndMark;
        const bool onlyAscii = std::all_of(
            text.begin(), text.end(), [](char16_t c) { return c == u'\r' || c == u'\n' || (c >= 0x20 && c < 0x7F); });
        if (entry.id != 0x2FF128A2) {
            EXPECT_TRUE(onlyAscii) << std::hex << entry.id;
        }
        // Bare CR or LF never occurs; every line break is CR LF.
        for (size_t at = 0; at < text.size(); ++at) {
            if (text[at] == u'\n') {
                EXPECT_TRUE(at > 0 && text[at - 1] == u'\r') << std::hex << entry.id;
            }
        }
    }
    EXPECT_EQ(withEndMark, 654);
    const std::u16string copyright = textOf(0x2FF128A2);
    EXPECT_EQ(copyright.front(), u'\u00A9');
    EXPECT_TRUE(copyright.ends_with(u"%0\r\n"));
    const std::u16string licence = textOf(0x2FF14E20);
    EXPECT_EQ(licence.find(u"%0"), std::u16string::npos);
    EXPECT_NE(licence.find(u"\r\n\r\n"), std::u16string::npos);
}

TEST_F(CatalogueResource, StoresTextsExactlyIncludingWhatIsNeverProduced)
{
    EXPECT_EQ(textOf(MSG_VRC0000), u"MSG_VRC0000\r\n");
    EXPECT_EQ(textOf(0xAFF71195), u"VRC4501: The service is temporarily unavailable - error in API parameters.%0 \r\n"
                                  u";// VRC4501: Incorrect parameter.%0 \r\n");
    EXPECT_EQ(textOf(0x6FFD119E).substr(textOf(0x6FFD119E).find(u"%0")),
              u"%0 \r\n;//VRC4510: Printer not ready for printing.%0 \r\n");
    EXPECT_EQ(textOf(0xAFF203F8), u"exceeded maximum number of pages: \r\n");
    EXPECT_EQ(textOf(0x2FF129DB), u"verified\r\n");
    EXPECT_EQ(textOf(0x2FF136B3),
              u"It is not recommended to stop the addition of the Printer Plugin.%Do you still wish to cancel "
              u"this operation?%0\r\n");
    // Equal texts stay separate messages.
    for (uint32_t id : {0x2FF11FAFu, 0x2FF11FB0u, 0x2FF12AFBu})
        EXPECT_EQ(textOf(id), u"Unavailable%0\r\n");
}

namespace {

std::wstring loadedLibraryPath(const wchar_t* name)
{
    // A library opened as data has no file name of its own; ask the loader.
    const vr::UniqueLibrary module(LoadLibraryW(name));
    wchar_t path[MAX_PATH] = {};
    if (module)
        GetModuleFileNameW(module.get(), path, MAX_PATH);
    return path;
}

std::wstring upperCase(std::wstring text)
{
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

}  // namespace

// The version resource agrees with itself and with the rest of the product:
// the texts with the numbers, the string table with the translation the
// shell looks it up by, the file names with the file, the product name with
// the settings key.
TEST(CatalogueLibrary, VersionResource)
{
    const std::wstring path = loadedLibraryPath(L"VRCCLN62.dll");
    ASSERT_FALSE(path.empty());
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_NE(size, 0u);
    std::vector<uint8_t> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, info.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    // The release the installers and the support staff compare against.
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00060002u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00050828u);
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
    EXPECT_EQ(fixed->dwFileOS, DWORD(VOS_NT_WINDOWS32));
    EXPECT_EQ(fixed->dwFileType, DWORD(VFT_DLL));

    WORD* translation = nullptr;
    ASSERT_TRUE(
        VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x0409);  // English (United States)
    EXPECT_EQ(translation[1], 0x04E4);  // code page 1252
    wchar_t block[64];
    std::swprintf(block, std::size(block), L"\\StringFileInfo\\%04x%04x\\", translation[0], translation[1]);
    auto text = [&](const wchar_t* name) -> std::wstring {
        wchar_t* found = nullptr;
        UINT characters = 0;
        if (!VerQueryValueW(info.data(), (block + std::wstring(name)).c_str(), reinterpret_cast<void**>(&found),
                            &characters) ||
            found == nullptr)
            return L"<missing>";
        return found;
    };

    wchar_t numbers[64];
    std::swprintf(numbers, std::size(numbers), L"%u.%u.%u.%u", HIWORD(fixed->dwFileVersionMS),
                  LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
    EXPECT_EQ(text(L"FileVersion"), numbers);
    EXPECT_EQ(text(L"ProductVersion"), numbers);

    const std::wstring fileName = upperCase(path.substr(path.find_last_of(L"\\/") + 1));
    EXPECT_EQ(text(L"InternalName"), fileName);
    EXPECT_EQ(text(L"OriginalFilename"), fileName);

    // The settings key ends in the product's name: "...\\<product>\\".
    std::wstring settingsKey = VRC_SETTINGS_KEY;
    settingsKey.pop_back();
    const std::wstring product = settingsKey.substr(settingsKey.find_last_of(L'\\') + 1);
    EXPECT_EQ(text(L"ProductName"), product);
    wchar_t majorMinor[16];
    std::swprintf(majorMinor, std::size(majorMinor), L" %u.%u", HIWORD(fixed->dwFileVersionMS),
                  LOWORD(fixed->dwFileVersionMS));
    EXPECT_TRUE(product.ends_with(majorMinor)) << "product name and version differ";

    for (const wchar_t* name : {L"CompanyName", L"FileDescription", L"LegalCopyright"}) {
        const std::wstring value = text(name);
        EXPECT_FALSE(value.empty() || value == L"<missing>") << vr::test::narrow(name);
    }
}

TEST(CatalogueLibrary, ManifestAsksForTheCallersRightsOnly)
{
    EXPECT_THAT(resourceNames(catalogueData(), MAKEINTRESOURCEW(24)), ::testing::ElementsAre(2u));
    EXPECT_THAT(resourceLanguages(catalogueData(), MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(2)),
                ::testing::ElementsAre(kEnglishUs));
    const auto bytes = resourceBytes(catalogueData(), MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(2), kEnglishUs);
    const std::string manifest(bytes.begin(), bytes.end());
    EXPECT_THAT(manifest, ::testing::HasSubstr("<trustInfo"));
    EXPECT_THAT(manifest, ::testing::HasSubstr("level='asInvoker'"));
    EXPECT_THAT(manifest, ::testing::HasSubstr("uiAccess='false'"));
    EXPECT_THAT(manifest, ::testing::Not(::testing::HasSubstr("<dependency")));
}

namespace {

// Reads a loaded image's directories; the loader has already checked them.
template <typename T>
const T* imageDirectory(HMODULE module, int index, DWORD* size)
{
    auto* base = reinterpret_cast<const uint8_t*>(module);
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[index];
    *size = directory.Size;
    return directory.VirtualAddress ? reinterpret_cast<const T*>(base + directory.VirtualAddress) : nullptr;
}

}  // namespace

TEST(CatalogueLibrary, ExportsTheTwoFormattersByNameAndNothingElse)
{
    const vr::UniqueLibrary library(LoadLibraryW(L"VRCCLN62.dll"));
    ASSERT_TRUE(library);
    HMODULE module = library.get();
    DWORD size = 0;
    const auto* exports = imageDirectory<IMAGE_EXPORT_DIRECTORY>(module, IMAGE_DIRECTORY_ENTRY_EXPORT, &size);
    ASSERT_NE(exports, nullptr);
    auto* base = reinterpret_cast<const char*>(module);
    std::vector<std::string> names;
    const auto* nameRvas = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i)
        names.emplace_back(base + nameRvas[i]);
    EXPECT_EQ(exports->NumberOfFunctions, 2u);
    EXPECT_THAT(names, ::testing::ElementsAre("MSG_FormatMessageA", "MSG_FormatMessageW"));
    EXPECT_NE(GetProcAddress(module, "MSG_FormatMessageW"), nullptr);
    EXPECT_NE(GetProcAddress(module, "MSG_FormatMessageA"), nullptr);
    EXPECT_EQ(GetProcAddress(module, "DllMain"), nullptr);
}

// The library, and every other shipped binary with it, imports only DLLs that
// the loader takes from the system folder whatever folder the binary runs
// from; any other name is looked for beside the binary first, where anybody
// may have left a DLL of that name.
TEST(CatalogueLibrary, ImportsOnlyPlatformLibraries)
{
    const std::set<std::string> platform{"kernel32.dll", "msvcrt.dll", "advapi32.dll", "user32.dll", "ucrtbase.dll"};
    for (const char* binary : {"VRCCLN62.dll", "Kelvane.exe", "vorUvez.exe"}) {
        const std::wstring path = vr::test::windowsPath(VR_BIN_DIR "/") + vr::test::widen(binary);
        // Mapped as an image for reading only: nothing it imports is loaded.
        const vr::UniqueLibrary library(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE));
        ASSERT_TRUE(library) << binary << ": " << GetLastError();
        const auto module = reinterpret_cast<HMODULE>(reinterpret_cast<uintptr_t>(library.get()) & ~uintptr_t(3));
        DWORD size = 0;
        const auto* imports = imageDirectory<IMAGE_IMPORT_DESCRIPTOR>(module, IMAGE_DIRECTORY_ENTRY_IMPORT, &size);
        ASSERT_NE(imports, nullptr) << binary;
        std::vector<std::string> names;
        for (; imports->Name != 0; ++imports) {
            std::string name(reinterpret_cast<const char*>(module) + imports->Name);
            std::transform(name.begin(), name.end(), name.begin(), [](char c) { return char(std::tolower(c)); });
            EXPECT_TRUE(platform.count(name) || name.starts_with("api-ms-win-")) << binary << " imports " << name;
            names.push_back(name);
        }
        EXPECT_THAT(names, ::testing::Contains("kernel32.dll")) << binary;
    }
}
