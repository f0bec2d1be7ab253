// Narrow text read in a code page, as the platform's conversion to UTF-16
// reads it, for the code pages the native tests need: 1252, 932 and 65001.
#pragma once

#include <cstddef>

namespace vr::test {

// One character of code page 932: a single byte, or a lead byte and its trail
// byte, which may be any of 0x40-0x7E and 0x80-0xFC, 0x5C among them. Which
// character a pair is does not matter here: it becomes a CJK placeholder.
inline bool decode932(const unsigned char* bytes, std::size_t count, std::size_t* at, char16_t* unit)
{
    const unsigned lead = bytes[(*at)++];
    if (lead < 0x80 || (lead >= 0xA1 && lead <= 0xDF)) {
        *unit = static_cast<char16_t>(lead < 0x80 ? lead : 0xFF61 + (lead - 0xA1));  // half-width katakana
        return true;
    }
    if (!((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC)) || *at >= count)
        return false;
    const unsigned trail = bytes[(*at)++];
    *unit = static_cast<char16_t>(0x4E00 + ((lead << 8 | trail) & 0x3FFF));
    return trail >= 0x40 && trail != 0x7F && trail <= 0xFC;
}

// One character of UTF-8 below U+10000; overlong forms and surrogates are
// refused, and so are four-byte forms, which no test needs.
inline bool decodeUtf8(const unsigned char* bytes, std::size_t count, std::size_t* at, char16_t* unit)
{
    const unsigned first = bytes[(*at)++];
    const std::size_t more = first < 0x80                    ? 0
                             : first >= 0xE0 && first < 0xF0 ? 2
                             : first >= 0xC2 && first < 0xE0 ? 1
                                                             : 3;
    if (more == 3 || *at + more > count)
        return false;
    unsigned code = first & (0x7F >> more);
    for (std::size_t i = 0; i < more; ++i, ++*at) {
        if ((bytes[*at] & 0xC0) != 0x80)
            return false;
        code = code << 6 | (bytes[*at] & 0x3F);
    }
    *unit = static_cast<char16_t>(code);
    return !(more == 2 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF)));
}

// Converts bytes from codePage to UTF-16; false when they are not text in it,
// when it is none of the three, or when the text does not fit. Code page 1252
// is read as Latin-1: the two differ only in 0x80-0x9F, all letters and marks.
inline bool decodeCodePage(unsigned codePage, const char* text, std::size_t byteCount, char16_t* out,
                           std::size_t capacity, std::size_t* length)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    std::size_t written = 0;
    for (std::size_t at = 0; at < byteCount; ++written) {
        char16_t unit = bytes[at];
        bool read = false;
        if (codePage == 1252)
            read = ++at <= byteCount;
        else if (codePage == 932)
            read = decode932(bytes, byteCount, &at, &unit);
        else if (codePage == 65001)
            read = decodeUtf8(bytes, byteCount, &at, &unit);
        if (!read || written == capacity)
            return false;
        out[written] = unit;
    }
    *length = written;
    return true;
}

}  // namespace vr::test
