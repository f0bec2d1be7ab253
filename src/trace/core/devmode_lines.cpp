#include "trace/core/devmode_lines.h"

namespace vr::trace::devmode {
namespace {

enum class Width { Signed16, Unsigned16, Signed32 };

struct Row {
    std::uint32_t bit;
    const char* format;
    std::uint32_t Members::*wide32;  // one of these two is set, or neither for the form name
    std::uint16_t Members::*narrow16;
    Width width;
};

// Bits 0x20, 0x40, 0x80 and those above 0x00100000 have no row: their
// members are never written.
constexpr Row kRows[kMemberRows] = {
    {0x00000001, "pdmIn->dmOrientation = %d", nullptr, &Members::orientation, Width::Signed16},
    {0x00000002, "pdmIn->dmPaperSize = %d", nullptr, &Members::paperSize, Width::Signed16},
    {0x00000004, "pdmIn->dmPaperLength = %d", nullptr, &Members::paperLength, Width::Signed16},
    {0x00000008, "pdmIn->dmPaperWidth = %d", nullptr, &Members::paperWidth, Width::Signed16},
    {0x00000010, "pdmIn->dmScale = %d", nullptr, &Members::scale, Width::Signed16},
    {0x00000100, "pdmIn->dmCopies = %d", nullptr, &Members::copies, Width::Signed16},
    {0x00000200, "pdmIn->dmDefaultSource = %d", nullptr, &Members::defaultSource, Width::Signed16},
    {0x00000400, "pdmIn->dmPrintQuality = %d", nullptr, &Members::printQuality, Width::Signed16},
    {0x00000800, "pdmIn->dmColor = %d", nullptr, &Members::color, Width::Signed16},
    {0x00001000, "pdmIn->dmDuplex = %d", nullptr, &Members::duplex, Width::Signed16},
    {0x00002000, "pdmIn->dmYResolution = %d", nullptr, &Members::yResolution, Width::Signed16},
    {0x00004000, "pdmIn->dmTTOption = %d", nullptr, &Members::ttOption, Width::Signed16},
    {0x00008000, "pdmIn->dmCollate = %d", nullptr, &Members::collate, Width::Signed16},
    {0x00010000, nullptr, nullptr, nullptr, Width::Signed16},  // dmFormName
    {0x00020000, "pdmIn->dmLogPixels = %d", nullptr, &Members::logPixels, Width::Unsigned16},
    {0x00040000, "pdmIn->dmBitsPerPel = %d", &Members::bitsPerPel, nullptr, Width::Signed32},
    {0x00080000, "pdmIn->dmPelsWidth = %d", &Members::pelsWidth, nullptr, Width::Signed32},
    {0x00100000, "pdmIn->dmPelsHeight = %d", &Members::pelsHeight, nullptr, Width::Signed32},
};

int printed(const Members& members, const Row& row) noexcept
{
    switch (row.width) {
    case Width::Signed16:
        return static_cast<std::int16_t>(members.*row.narrow16);
    case Width::Unsigned16:
        return members.*row.narrow16;
    case Width::Signed32:
        return static_cast<int>(members.*row.wide32);
    }
    return 0;
}

}  // namespace

std::size_t dumpLines(const Members& members, Variant variant, std::span<Line, kMaxLines> lines) noexcept
{
    const bool wide = variant == Variant::Wide;
    std::size_t count = 0;
    lines[count++] = {wide ? "pdmIn->dmDeviceName = %S" : "pdmIn->dmDeviceName = %s", Kind::Name,
                      NameMember::DeviceName, 0};
    lines[count++] = {"pdmIn->dmSize = %d", Kind::Number, NameMember::None, members.size};
    lines[count++] = {"pdmIn->dmDriverExtra = %d", Kind::Number, NameMember::None, members.driverExtra};
    // Printed with %x: the bits are passed on unchanged.
    lines[count++] = {"pdmIn->dmFields = 0x%x", Kind::Number, NameMember::None, static_cast<int>(members.fields)};

    for (const Row& row : kRows) {
        if ((members.fields & row.bit) == 0)
            continue;
        if (row.format == nullptr)
            lines[count++] = {wide ? "pdmIn->dmFormName = %S" : "pdmIn->dmFormName = %s", Kind::Name,
                              NameMember::FormName, 0};
        else
            lines[count++] = {row.format, Kind::Number, NameMember::None, printed(members, row)};
    }
    return count;
}

}  // namespace vr::trace::devmode
