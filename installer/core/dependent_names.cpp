// Whether a dependent-file name keeps its file inside the driver directory.
// The file calls read a narrow name in their code page, where a byte 0x5C may
// be the second half of a double-byte character rather than a backslash: the
// name is judged as those calls see it, after the decoder converted it to UTF-16.
#include "kelvane_core.h"

#include <cstring>
#include <span>
#include <string_view>

namespace {

using Text = std::span<const char16_t>;

// Room for any name of kMaxFieldLength bytes, whatever the code page makes of it.
constexpr std::size_t kDecodedCapacity = 2 * kFieldSize;

char16_t LowerAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// Windows drops the dots and spaces that end a path segment, so a segment of
// dots and spaces with two dots or more ("..", "...", ".. ") is the parent.
bool ClimbsOut(Text segment)
{
    std::size_t dots = 0;
    for (const char16_t c : segment) {
        if (c == u'.')
            ++dots;
        else if (c != u' ')
            return false;
    }
    return dots >= 2;
}

// A last segment that names a device: its name up to the first dot, less the
// spaces that end it (Windows drops them), is CON, PRN, AUX or NUL, or COM or
// LPT with a digit 1 to 9 or a superscript 1, 2 or 3, in any ASCII letter case.
constexpr char16_t kDevices[][4] = {u"con", u"prn", u"aux", u"nul"};
constexpr char16_t kNumberedDevices[][4] = {u"com", u"lpt"};

bool IsDeviceUnit(char16_t c) { return (c >= u'1' && c <= u'9') || c == u'\u00B9' || c == u'\u00B2' || c == u'\u00B3'; }

bool NamesADevice(Text segment)
{
    std::size_t base = 0;
    while (base < segment.size() && segment[base] != u'.')
        ++base;
    while (base > 0 && segment[base - 1] == u' ')
        --base;
    if (base != 3 && base != 4)
        return false;
    const char16_t lower[3] = {LowerAscii(segment[0]), LowerAscii(segment[1]), LowerAscii(segment[2])};
    const std::u16string_view stem(lower, 3);
    const auto is = [stem](const auto& names) {
        for (const char16_t* name : names)
            if (stem == name)
                return true;
        return false;
    };
    return base == 3 ? is(kDevices) : is(kNumberedDevices) && IsDeviceUnit(segment[3]);
}

bool LeavesDirectory(Text name)
{
    if (name.empty())
        return false;
    if (IsSeparator(name[0]))
        return true;
    for (const char16_t c : name)
        if (c == u':')
            return true;
    std::size_t segmentStart = 0;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        if (i < name.size() && !IsSeparator(name[i]))
            continue;
        const Text segment = name.subspan(segmentStart, i - segmentStart);
        if (ClimbsOut(segment) || (i == name.size() && NamesADevice(segment)))
            return true;
        segmentStart = i + 1;
    }
    return false;
}

constexpr char kEscapingNameFormat[] = "Driver file name '%s' leaves the driver directory.";
constexpr char kUnreadableNameFormat[] = "Driver file name '%s' is not text in this system's code page.";

}  // namespace

DependentNameCheck CheckDependentName(const char* name, const NameDecoder& decoder)
{
    const std::size_t length = strnlen(name, kMaxFieldLength);
    char16_t text[kDecodedCapacity];
    std::size_t decoded = 0;
    if (length != 0 && !decoder.decode(decoder.codePage, name, length, text, kDecodedCapacity, &decoded))
        return DependentNameCheck::NotInCodePage;
    return LeavesDirectory(Text(text, decoded)) ? DependentNameCheck::LeavesDirectory : DependentNameCheck::InDirectory;
}

bool DependentFilesStayInDirectory(const DriverConfig* config, const NameDecoder& decoder)
{
    for (std::uint32_t i = 0; i < config->DependentFileCount; ++i) {
        const char* name = config->DependentFiles[i];
        const DependentNameCheck check = CheckDependentName(name, decoder);
        if (check != DependentNameCheck::InDirectory) {
            const char* format =
                check == DependentNameCheck::LeavesDirectory ? kEscapingNameFormat : kUnreadableNameFormat;
            char message[sizeof kUnreadableNameFormat + kFieldSize];
            std::snprintf(message, sizeof message, format, name);
            ShowError(message);
            return false;
        }
    }
    return true;
}
