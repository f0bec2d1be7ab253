// The code page a log was written in. The tracer writes its texts, process
// names and file names in the ANSI code page of the machine it runs on, so a
// log's bytes mean characters only by that code page; JSON wants UTF-8. No
// platform calls here: the console program supplies the platform's code pages
// (code_pages.cpp), the core has tables of its own for a few.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace vr::vrclog {

inline constexpr uint32_t kUtf8CodePage = 65001;

// The characters of the bytes 0x80-0xFF of a code page of one byte per
// character, as UTF-8 (U+FFFD where it defines none): text in it is decoded
// by a look-up per byte.
struct UpperHalfUtf8 {
    std::array<std::array<char, 4>, 128> bytes{};
    std::array<uint8_t, 128> length{};
};

// UTF-8 of the code points of the bytes 0x80-0xFF.
UpperHalfUtf8 upperHalfUtf8(const std::array<uint32_t, 128>& codePoints);
// Appends the bytes decoded by that look-up.
void decodeByUpperHalf(std::string_view bytes, const UpperHalfUtf8& upper, std::string& utf8);

// One code page, used by one thread. Only code pages that keep the bytes
// 0x00-0x7F as ASCII are taken: a log's columns and line ends are ASCII.
class CodePage {
public:
    virtual ~CodePage() = default;
    virtual uint32_t number() const noexcept = 0;
    // Appends the bytes as UTF-8. A byte sequence the code page does not
    // define, or one cut off by the end of the bytes, becomes U+FFFD; the
    // result is always well-formed UTF-8 and ASCII bytes stay as they are.
    virtual void decode(std::string_view bytes, std::string& utf8) = 0;
    // Appends the UTF-8 text in the code page; false when the text is not
    // UTF-8 or has a character the code page cannot write exactly.
    virtual bool encode(std::string_view utf8, std::string& bytes) = 0;
    // For a code page of one byte per character, its upper half; else null.
    virtual const UpperHalfUtf8* upperHalf() const noexcept { return nullptr; }
};

// The core's own tables: 1252 (Western European), 1251 (Cyrillic) and 65001
// (UTF-8). Null for any other number.
std::unique_ptr<CodePage> builtInCodePage(uint32_t number);

// The code page to read logs in: number, or 0 for the ANSI code page of the
// machine vrclog runs on. Null with a message in error when it is not known
// here or does not keep ASCII. Defined by the console program's code page
// layer (code_pages.cpp): every code page the platform knows on Windows, the
// built-in ones elsewhere (there the machine's is taken to be 1252).
std::unique_ptr<CodePage> openCodePage(uint32_t number, std::string& error);

// Appends a code point as UTF-8; a surrogate or anything past U+10FFFF as U+FFFD.
void appendUtf8(std::string& out, uint32_t codePoint);

// Length of the well-formed UTF-8 sequence at text[at], or 0.
std::size_t utf8SequenceLength(std::string_view text, std::size_t at) noexcept;

}  // namespace vr::vrclog
