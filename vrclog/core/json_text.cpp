#include "json_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <cstdint>

namespace vr::vrclog {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

bool needsEscape(char c) noexcept { return static_cast<unsigned char>(c) < 0x20 || c == '"' || c == '\\'; }

// The bytes written as they are: printable ASCII that JSON does not reserve.
constexpr std::array<bool, 256> kPlain = [] {
    std::array<bool, 256> plain{};
    for (int c = 0x20; c < 0x80; ++c)
        plain[static_cast<std::size_t>(c)] = c != '"' && c != '\\';
    return plain;
}();

bool isPlain(char c) noexcept { return kPlain[static_cast<unsigned char>(c)]; }

void appendEscape(std::string& out, char c)
{
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

// Text already UTF-8: the ASCII characters JSON reserves are escaped, the
// rest is kept, in runs.
void appendEscaped(std::string& out, std::string_view text)
{
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = at;
        while (end < text.size() && !needsEscape(text[end]))
            ++end;
        out.append(text.data() + at, end - at);
        if (end < text.size())
            appendEscape(out, text[end++]);
        at = end;
    }
}

}  // namespace

void appendJsonString(std::string& out, std::string_view bytes, CodePage& codePage)
{
    out += '"';
    appendJsonCharacters(out, bytes, codePage);
    out += '"';
}

namespace {

// A code page of one byte per character: decoded and escaped in one pass,
// gathered in a block on the stack.
void appendSingleByteJson(std::string& out, std::string_view bytes, const UpperHalfUtf8& upper)
{
    char block[256];
    std::size_t used = 0;
    for (const char c : bytes) {
        if (used > sizeof block - 4) {
            out.append(block, used);
            used = 0;
        }
        const auto byte = static_cast<unsigned char>(c);
        if (kPlain[byte]) {
            block[used++] = c;
        } else if (byte >= 0x80) {
            std::memcpy(block + used, upper.bytes[byte - 0x80].data(), 4);
            used += upper.length[byte - 0x80];
        } else {
            out.append(block, used);
            used = 0;
            appendEscape(out, c);
        }
    }
    out.append(block, used);
}

}  // namespace

void appendJsonCharacters(std::string& out, std::string_view bytes, CodePage& codePage)
{
    // ASCII means the same in every code page a log is written in: it is
    // copied in runs, and only the rest from the first byte of 0x80 or above
    // is decoded. That byte begins a character, since no ASCII byte is a
    // lead byte.
    std::size_t at = 0;
    for (;;) {
        std::size_t end = at;
        while (end < bytes.size() && isPlain(bytes[end]))
            ++end;
        out.append(bytes.data() + at, end - at);
        if (end == bytes.size())
            return;
        if ((static_cast<unsigned char>(bytes[end]) & 0x80) != 0) {
            if (const UpperHalfUtf8* upper = codePage.upperHalf()) {
                appendSingleByteJson(out, bytes.substr(end), *upper);
                return;
            }
            at = end;
            break;
        }
        appendEscape(out, bytes[end]);
        at = end + 1;
    }
    // Decoded whole: a trail byte of a double-byte code page can look like ASCII.
    const std::size_t from = out.size();
    codePage.decode(bytes.substr(at), out);
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
