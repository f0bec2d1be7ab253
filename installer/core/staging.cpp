// Decisions of the staging step that need no platform calls: the spooler
// environment, compressed names, path joins and the dependent-file list.
#include "kelvane_core.h"

#include <cstring>

namespace {

struct CompressedSuffix {
    char ending[3];  // the last three characters, lower case
    char expandedLast;  // what the last character becomes
};

constexpr CompressedSuffix kCompressedSuffixes[] = {
    {{'d', 'l', '_'}, 'L'}, {{'h', 'l', '_'}, 'P'}, {{'c', 'f', '_'}, 'G'}, {{'d', 'a', '_'}, 'T'},
    {{'e', 'i', '_'}, 'F'}, {{'e', 'x', '_'}, 'E'}, {{'d', 'o', '_'}, 'C'}, {{'c', 'n', '_'}, 'T'},
    {{'s', 'y', '_'}, 'S'}, {{'w', 'b', '_'}, 'F'}, {{'d', 'x', '_'}, 'T'},
};

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Windows drops the dots and spaces that end a path segment, so a segment of
// dots and spaces with two dots or more ("..", "...", ".. ") is the parent.
bool ClimbsOut(const char* segment, std::size_t length)
{
    std::size_t dots = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (segment[i] == '.')
            ++dots;
        else if (segment[i] != ' ')
            return false;
    }
    return dots >= 2;
}

// A last segment that names a device: its name up to the first dot, less the
// spaces that end it (Windows drops them), is CON, PRN, AUX or NUL, or COM or
// LPT with a digit 1 to 9 or a superscript 1, 2 or 3, in any ASCII letter
// case. The text is in the ANSI code page: the superscripts are the bytes
// 0xB9, 0xB2 and 0xB3 (1252 and most others), or C2 B9, C2 B2 and C2 B3 where
// the code page is UTF-8. Both spellings are refused whatever the code page.
constexpr char kDevices[][4] = {"con", "prn", "aux", "nul"};
constexpr char kNumberedDevices[][4] = {"com", "lpt"};

bool IsSuperscriptDigit(unsigned char c) { return c == 0xB9 || c == 0xB2 || c == 0xB3; }

bool NamesADevice(const char* segment, std::size_t length)
{
    const void* dot = std::memchr(segment, '.', length);
    std::size_t base = dot != nullptr ? static_cast<std::size_t>(static_cast<const char*>(dot) - segment) : length;
    while (base > 0 && segment[base - 1] == ' ')
        --base;
    if (base < 3)
        return false;
    const char stem[4] = {LowerAscii(segment[0]), LowerAscii(segment[1]), LowerAscii(segment[2]), '\0'};
    const auto is = [&stem](const auto& names) {
        for (const char* name : names)
            if (std::strcmp(stem, name) == 0)
                return true;
        return false;
    };
    const auto* unit = reinterpret_cast<const unsigned char*>(segment) + 3;
    switch (base - 3) {
    case 0:
        return is(kDevices);
    case 1:
        return is(kNumberedDevices) && ((unit[0] >= '1' && unit[0] <= '9') || IsSuperscriptDigit(unit[0]));
    case 2:
        return is(kNumberedDevices) && unit[0] == 0xC2 && IsSuperscriptDigit(unit[1]);
    default:
        return false;
    }
}

constexpr char kEscapingNameFormat[] = "Driver file name '%s' leaves the driver directory.";

constexpr unsigned char kCompressedMagic[8] = {'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x33};

}  // namespace

extern "C" int ExpandCompressedName(char* name)
{
    const std::size_t length = strnlen(name, kMaxTextLength);
    if (length >= 3) {
        const char* ending = name + length - 3;
        for (const CompressedSuffix& suffix : kCompressedSuffixes) {
            if (LowerAscii(ending[0]) == suffix.ending[0] && LowerAscii(ending[1]) == suffix.ending[1] &&
                LowerAscii(ending[2]) == suffix.ending[2]) {
                name[length - 1] = suffix.expandedLast;
                return 1;
            }
        }
    }
    char message[64 + kTextSize];
    std::snprintf(message, sizeof message, "unrecognized extension file name: %s.", name);
    ShowError(message);
    return 0;
}

DriverEnvironment ChooseDriverEnvironment(std::uint32_t majorVersion, bool x64)
{
    if (majorVersion < 4)
        return {nullptr, 0};
    if (majorVersion == 4)
        return {"Windows 4.0", 0};
    return {x64 ? "Windows x64" : "Windows NT x86", 3};
}

bool JoinPath(char* out, const char* first, const char* second)
{
    const std::size_t firstLength = strnlen(first, kTextSize);
    const std::size_t secondLength = strnlen(second, kTextSize);
    if (firstLength + secondLength > kMaxTextLength) {
        out[0] = '\0';
        return false;
    }
    std::memcpy(out, first, firstLength);
    std::memcpy(out + firstLength, second, secondLength);
    out[firstLength + secondLength] = '\0';
    return true;
}

void DependentListReset(DependentFileList* list)
{
    std::memset(list->bytes, 0, sizeof list->bytes);
    list->length = 0;
}

bool DependentListAppend(DependentFileList* list, const char* name)
{
    const std::size_t nameLength = std::strlen(name);
    // The name, its NUL, and the NUL that closes the list must all fit.
    if (nameLength + 2 > kDependentListSize - list->length)
        return false;
    std::memcpy(list->bytes + list->length, name, nameLength);
    list->bytes[list->length + nameLength] = '\0';
    list->length += nameLength + 1;
    return true;
}

void DependentListFinish(DependentFileList* list)
{
    // An empty list is two NULs; otherwise one more NUL after the last name's.
    list->bytes[list->length] = '\0';
    if (list->length == 0)
        list->bytes[1] = '\0';
}

bool DeclaredExpandedSize(const unsigned char* header, std::size_t length, std::uint32_t* size)
{
    if (length < kCompressedHeaderSize || std::memcmp(header, kCompressedMagic, sizeof kCompressedMagic) != 0)
        return false;
    *size = static_cast<std::uint32_t>(header[10]) | static_cast<std::uint32_t>(header[11]) << 8 |
            static_cast<std::uint32_t>(header[12]) << 16 | static_cast<std::uint32_t>(header[13]) << 24;
    return true;
}

bool DependentNameLeavesDirectory(const char* name)
{
    const std::size_t length = strnlen(name, kMaxTextLength);
    if (length == 0)
        return false;
    if (IsSeparator(name[0]) || std::memchr(name, ':', length) != nullptr)
        return true;
    std::size_t segmentStart = 0;
    for (std::size_t i = 0; i <= length; ++i) {
        if (i < length && !IsSeparator(name[i]))
            continue;
        if (ClimbsOut(name + segmentStart, i - segmentStart))
            return true;
        if (i == length && NamesADevice(name + segmentStart, i - segmentStart))
            return true;
        segmentStart = i + 1;
    }
    return false;
}

bool DependentFilesStayInDirectory(const DriverConfig* config)
{
    for (std::uint32_t i = 0; i < config->DependentFileCount; ++i) {
        const char* name = config->DependentFiles[i];
        if (DependentNameLeavesDirectory(name)) {
            char message[sizeof kEscapingNameFormat + kTextSize];
            std::snprintf(message, sizeof message, kEscapingNameFormat, name);
            ShowError(message);
            return false;
        }
    }
    return true;
}
