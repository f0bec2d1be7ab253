#include "code_page.h"

#include <array>
#include <cstring>

namespace vr::vrclog {

namespace {

constexpr uint32_t kReplacement = 0xFFFD;

// The characters of the bytes 0x80-0xFF; 0xFFFD where the code page defines
// none (Windows fills those places with C1 controls, which no text holds).
using UpperHalf = std::array<uint16_t, 128>;

// Code page 1252: its own characters at 0x80-0x9F, Latin-1 from 0xA0 on.
constexpr UpperHalf kWindows1252 = [] {
    constexpr uint16_t k80[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                  0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
    UpperHalf table{};
    for (std::size_t i = 0; i < table.size(); ++i)
        table[i] = i < 32 ? k80[i] : static_cast<uint16_t>(0x80 + i);
    return table;
}();

// Code page 1251: its own characters at 0x80-0xBF, then А-я in order.
constexpr UpperHalf kWindows1251 = [] {
    constexpr uint16_t k80[64] = {
        0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
        0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0xFFFD, 0x2122,
        0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
        0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
        0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};
    UpperHalf table{};
    for (std::size_t i = 0; i < table.size(); ++i)
        table[i] = i < 64 ? k80[i] : static_cast<uint16_t>(0x0410 + (i - 64));
    return table;
}();

// The code point of a well-formed sequence of the given length.
uint32_t utf8CodePoint(std::string_view sequence) noexcept
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(sequence[i]); };
    if (sequence.size() == 1)
        return byte(0);
    uint32_t code = byte(0) & (0x7F >> sequence.size());
    for (std::size_t i = 1; i < sequence.size(); ++i)
        code = (code << 6) | (byte(i) & 0x3F);
    return code;
}

}  // namespace

UpperHalfUtf8 upperHalfUtf8(const std::array<uint32_t, 128>& codePoints)
{
    UpperHalfUtf8 half;
    for (std::size_t i = 0; i < codePoints.size(); ++i) {
        std::string character;
        appendUtf8(character, codePoints[i]);
        character.copy(half.bytes[i].data(), character.size());
        half.length[i] = static_cast<uint8_t>(character.size());
    }
    return half;
}

// Gathered in a block on the stack: an append per character costs more than
// the look-up.
void decodeByUpperHalf(std::string_view bytes, const UpperHalfUtf8& upper, std::string& utf8)
{
    char block[256];
    std::size_t used = 0;
    for (const char c : bytes) {
        if (used > sizeof block - 4) {
            utf8.append(block, used);
            used = 0;
        }
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            block[used++] = c;
        } else {
            std::memcpy(block + used, upper.bytes[byte - 0x80].data(), 4);
            used += upper.length[byte - 0x80];
        }
    }
    utf8.append(block, used);
}

namespace {

class SingleByteCodePage final : public CodePage {
public:
    SingleByteCodePage(uint32_t number, const UpperHalf& upper) : number_(number), upper_(upper)
    {
        std::array<uint32_t, 128> codePoints{};
        std::copy(upper.begin(), upper.end(), codePoints.begin());
        utf8_ = upperHalfUtf8(codePoints);
    }
    uint32_t number() const noexcept override { return number_; }
    const UpperHalfUtf8* upperHalf() const noexcept override { return &utf8_; }

    void decode(std::string_view bytes, std::string& utf8) override { decodeByUpperHalf(bytes, utf8_, utf8); }

    bool encode(std::string_view utf8, std::string& bytes) override
    {
        for (std::size_t at = 0; at < utf8.size();) {
            const std::size_t length = utf8SequenceLength(utf8, at);
            if (length == 0)
                return false;
            const uint32_t code = utf8CodePoint(utf8.substr(at, length));
            at += length;
            if (code < 0x80) {
                bytes += static_cast<char>(code);
                continue;
            }
            std::size_t place = 0;
            while (place < upper_.size() && (upper_[place] != code || code == kReplacement))
                ++place;
            if (place == upper_.size())
                return false;
            bytes += static_cast<char>(0x80 + place);
        }
        return true;
    }

private:
    uint32_t number_;
    const UpperHalf& upper_;
    UpperHalfUtf8 utf8_;
};

class Utf8CodePage final : public CodePage {
public:
    uint32_t number() const noexcept override { return kUtf8CodePage; }

    void decode(std::string_view bytes, std::string& utf8) override
    {
        for (std::size_t at = 0; at < bytes.size();) {
            const std::size_t length = utf8SequenceLength(bytes, at);
            if (length == 0) {
                appendUtf8(utf8, kReplacement);
                ++at;
            } else {
                utf8.append(bytes.substr(at, length));
                at += length;
            }
        }
    }

    bool encode(std::string_view utf8, std::string& bytes) override
    {
        for (std::size_t at = 0; at < utf8.size();) {
            const std::size_t length = utf8SequenceLength(utf8, at);
            if (length == 0)
                return false;
            at += length;
        }
        bytes.append(utf8);
        return true;
    }
};

}  // namespace

std::unique_ptr<CodePage> builtInCodePage(uint32_t number)
{
    switch (number) {
    case 1252:
        return std::make_unique<SingleByteCodePage>(number, kWindows1252);
    case 1251:
        return std::make_unique<SingleByteCodePage>(number, kWindows1251);
    case kUtf8CodePage:
        return std::make_unique<Utf8CodePage>();
    default:
        return nullptr;
    }
}

void appendUtf8(std::string& out, uint32_t code)
{
    if ((code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
        code = kReplacement;
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

std::size_t utf8SequenceLength(std::string_view text, std::size_t at) noexcept
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    uint32_t lowest = 0;
    uint32_t code = 0;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
        lowest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
        lowest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
        lowest = 0x10000;
    } else {
        return 0;
    }
    if (text.size() - at < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(i) & 0x3F);
    }
    // No overlong forms, no surrogates, nothing past U+10FFFF.
    if (code < lowest || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
        return 0;
    return length;
}

}  // namespace vr::vrclog
