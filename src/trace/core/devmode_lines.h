// The lines of a device-mode dump: four fixed lines, then one line per
// member whose dmFields bit is set, in a fixed order. The platform shell
// reads the members out of a DEVMODEW or DEVMODEA and hands each line's
// format and value to the tracer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace vr::trace::devmode {

enum class Variant { Wide, Narrow };

// How a line's value is printed.
enum class Kind {
    Number,  // the format has one %d or %x, the value is in Line::number
    Name,  // the format has one %S (wide) or %s (narrow): the shell passes the name
};

enum class NameMember { None, DeviceName, FormName };

// The members printed as numbers, as raw bits; each line decides whether
// a member is signed, unsigned, 16 or 32 bits wide.
struct Members {
    std::uint16_t size;
    std::uint16_t driverExtra;
    std::uint32_t fields;
    std::uint16_t orientation, paperSize, paperLength, paperWidth, scale, copies, defaultSource, printQuality, color,
        duplex, yResolution, ttOption, collate;
    std::uint16_t logPixels;
    std::uint32_t bitsPerPel, pelsWidth, pelsHeight;
};

struct Line {
    const char* format;
    Kind kind;
    NameMember name;
    int number;
};

inline constexpr std::size_t kFixedLines = 4;
inline constexpr std::size_t kMemberRows = 18;
inline constexpr std::size_t kMaxLines = kFixedLines + kMemberRows;

// Fills lines in dump order and returns how many there are.
std::size_t dumpLines(const Members& members, Variant variant, std::span<Line, kMaxLines> lines) noexcept;

}  // namespace vr::trace::devmode
