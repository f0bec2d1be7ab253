// Texts for test messages, for programs that take ASCII command lines, and
// texts that share no piece.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vr::test {

// ASCII form of a wide text; anything else becomes '?'.
inline std::string narrow(std::wstring_view text)
{
    std::string result;
    result.reserve(text.size());
    for (const wchar_t c : text)
        result.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return result;
}

// Wide form of an ASCII text (bytes above 0x7F are taken as Latin-1).
inline std::wstring widen(std::string_view text)
{
    std::wstring result;
    result.reserve(text.size());
    for (const char c : text)
        result.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    return result;
}

// Distinct CJK characters: no chunk of one text matches another chunk, in
// any case, of any text made with another seed.
inline std::wstring sampleText(std::size_t length, unsigned seed)
{
    std::wstring text;
    for (std::size_t i = 0; i < length; ++i)
        text.push_back(static_cast<wchar_t>(0x4E00 + seed * 2500 + i));
    return text;
}

}  // namespace vr::test
