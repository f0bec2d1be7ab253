// Device-mode dumps to the debugger output, one trace line per member.
#include "vrcommon.h"

#include "trace/core/devmode_lines.h"

#include <algorithm>
#include <array>

namespace {

// A device mode's names fill their 32 characters without a NUL when they are
// that long; they are printed from a terminated copy.
template <class Char, std::size_t N>
std::array<Char, N + 1> terminatedName(const Char (&name)[N]) noexcept
{
    std::array<Char, N + 1> copy{};
    std::copy_n(name, N, copy.begin());
    return copy;
}

// DEVMODEW and DEVMODEA differ only in their two names, so each member is
// read by name at the place the given structure has it.
template <class DevMode>
vr::trace::devmode::Members membersOf(const DevMode& dm) noexcept
{
    vr::trace::devmode::Members m{};
    m.size = dm.dmSize;
    m.driverExtra = dm.dmDriverExtra;
    m.fields = dm.dmFields;
    m.orientation = static_cast<std::uint16_t>(dm.dmOrientation);
    m.paperSize = static_cast<std::uint16_t>(dm.dmPaperSize);
    m.paperLength = static_cast<std::uint16_t>(dm.dmPaperLength);
    m.paperWidth = static_cast<std::uint16_t>(dm.dmPaperWidth);
    m.scale = static_cast<std::uint16_t>(dm.dmScale);
    m.copies = static_cast<std::uint16_t>(dm.dmCopies);
    m.defaultSource = static_cast<std::uint16_t>(dm.dmDefaultSource);
    m.printQuality = static_cast<std::uint16_t>(dm.dmPrintQuality);
    m.color = static_cast<std::uint16_t>(dm.dmColor);
    m.duplex = static_cast<std::uint16_t>(dm.dmDuplex);
    m.yResolution = static_cast<std::uint16_t>(dm.dmYResolution);
    m.ttOption = static_cast<std::uint16_t>(dm.dmTTOption);
    m.collate = static_cast<std::uint16_t>(dm.dmCollate);
    m.logPixels = dm.dmLogPixels;
    m.bitsPerPel = dm.dmBitsPerPel;
    m.pelsWidth = dm.dmPelsWidth;
    m.pelsHeight = dm.dmPelsHeight;
    return m;
}

template <class DevMode>
void dump(const char* sourceFile, int sourceLine, const DevMode* pdmIn, vr::trace::devmode::Variant variant) noexcept
{
    if (pdmIn == nullptr)
        return;
    const auto deviceName = terminatedName(pdmIn->dmDeviceName);
    const auto formName = terminatedName(pdmIn->dmFormName);

    std::array<vr::trace::devmode::Line, vr::trace::devmode::kMaxLines> lines{};
    const std::size_t count = vr::trace::devmode::dumpLines(membersOf(*pdmIn), variant, lines);
    for (const vr::trace::devmode::Line& line : std::span(lines).first(count)) {
        const char* text = nullptr;
        if (line.kind == vr::trace::devmode::Kind::Number)
            text = DBG_Text(line.format, line.number);
        else
            text = DBG_Text(line.format, line.name == vr::trace::devmode::NameMember::DeviceName ? deviceName.data()
                                                                                                 : formName.data());
        DBG_Print(sourceFile, sourceLine, DBG_MASK_DEBUG_ODS, text);
    }
}

}  // namespace

extern "C" void DBG_DumpDevModeW(const char* sourceFile, int sourceLine, const DEVMODEW* pdmIn)
{
    dump(sourceFile, sourceLine, pdmIn, vr::trace::devmode::Variant::Wide);
}

extern "C" void DBG_DumpDevModeA(const char* sourceFile, int sourceLine, const DEVMODEA* pdmIn)
{
    dump(sourceFile, sourceLine, pdmIn, vr::trace::devmode::Variant::Narrow);
}
