// What a catalogue text asks of the platform formatter, read from the text
// itself: which inserts it takes and of what kind, the part that is produced
// (everything before the first "%0"), the text code it begins with, and the
// severity and facility of an identifier.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vr::catalogue {

enum class InsertKind {
    Text,  // %1 or %1!s!: a pointer to a NUL-terminated UTF-16 string
    Integer,  // %1!d! and the other 32-bit integer conversions
    Unsupported,  // a conversion this tool cannot supply, or one insert used two ways
};

struct InsertPlan {
    // One kind per argument slot: slot i feeds %(i+1). The formatter fetches the
    // slots by number, so a gap still takes a slot; it is given as text.
    std::vector<InsertKind> slots;
    std::u16string unsupportedFormat;  // the first conversion that made a slot Unsupported
};

// Reads the inserts of the produced part of a text as the formatter does:
// "%" then one or two digits, optionally followed by "!format!".
InsertPlan planInserts(std::u16string_view text);

// The text before the first "%0", or the whole text when it has none.
std::u16string_view producedPart(std::u16string_view text) noexcept;

// "VRC4501" or "ERR7100" when the text begins with such a code and a colon.
std::optional<std::u16string> textCode(std::u16string_view text);

inline constexpr unsigned severityOf(uint32_t id) noexcept { return id >> 30; }
inline constexpr unsigned facilityOf(uint32_t id) noexcept { return (id >> 16) & 0xFFF; }
inline constexpr unsigned codeOf(uint32_t id) noexcept { return id & 0xFFFF; }

const char* severityName(unsigned severity) noexcept;
// The group a facility of the catalogue stands for, or null for one it does not use.
const char* facilityName(unsigned facility) noexcept;

}  // namespace vr::catalogue
