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

constexpr unsigned char kCompressedMagic[8] = {'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x33};

}  // namespace

extern "C" int ExpandCompressedName(char* name)
{
    const std::size_t length = strnlen(name, kMaxFieldLength);
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
    char message[64 + kFieldSize];
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
    const std::size_t firstLength = strnlen(first, kFieldSize);
    const std::size_t secondLength = strnlen(second, kFieldSize);
    if (firstLength + secondLength > kMaxFieldLength) {
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
