#include "json_text.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

namespace vr::vrclog {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

bool needsEscape(char c) noexcept { return static_cast<unsigned char>(c) < 0x20 || c == '"' || c == '\\'; }

// Text already UTF-8: the ASCII characters JSON reserves are escaped, the
// rest is kept.
void appendEscaped(std::string& out, std::string_view text)
{
    for (const char c : text) {
        if (!needsEscape(c)) {
            out += c;
            continue;
        }
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            out += "\\u00";
            out += kHexDigits[static_cast<unsigned char>(c) >> 4];
            out += kHexDigits[c & 0x0F];
        }
    }
}

}  // namespace

void appendJsonString(std::string& out, std::string_view bytes, CodePage& codePage)
{
    out += '"';
    appendJsonCharacters(out, bytes, codePage);
    out += '"';
}

void appendJsonCharacters(std::string& out, std::string_view bytes, CodePage& codePage)
{
    const bool ascii = std::none_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) != 0; });
    if (ascii) {
        appendEscaped(out, bytes);
        return;
    }
    // Decoded whole: a trail byte of a double-byte code page can look like ASCII.
    const std::size_t from = out.size();
    codePage.decode(bytes, out);
    const auto first = std::find_if(out.begin() + static_cast<std::ptrdiff_t>(from), out.end(), needsEscape);
    if (first == out.end())
        return;
    const std::string rest(first, out.end());
    out.erase(first, out.end());
    appendEscaped(out, rest);
}

void appendJsonNumber(std::string& out, int64_t value)
{
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

}  // namespace vr::vrclog
