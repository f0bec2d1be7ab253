// The code pages of the platform for the core's CodePage: on Windows every
// code page the system knows, decoded by MultiByteToWideChar; elsewhere the
// core's own tables.
#include <array>
#include <string>
#include <vector>

#include "code_page.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace vr::vrclog {

#ifdef _WIN32

namespace {

constexpr uint32_t kReplacement = 0xFFFD;

// UTF-16 as UTF-8; an unpaired surrogate becomes U+FFFD.
void appendUtf16(std::string& out, const wchar_t* text, std::size_t length)
{
    for (std::size_t i = 0; i < length; ++i) {
        uint32_t code = static_cast<uint16_t>(text[i]);
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<uint16_t>(text[i + 1]) - 0xDC00);
            ++i;
        }
        appendUtf8(out, code);
    }
}

class WindowsCodePage final : public CodePage {
public:
    WindowsCodePage(uint32_t number, unsigned maxCharSize) : number_(number), maxCharSize_(maxCharSize)
    {
        if (maxCharSize_ != 1)
            return;
        // One byte per character: the upper half is asked of the platform
        // once, and text is then decoded by look-up, without a call.
        std::array<uint32_t, 128> codePoints{};
        for (std::size_t i = 0; i < codePoints.size(); ++i) {
            const char byte = static_cast<char>(0x80 + i);
            const int length = toWide(std::string_view(&byte, 1));
            codePoints[i] = length == 1 && (wide_[0] < 0x80 || wide_[0] > 0x9F) ? wide_[0] : kReplacement;
        }
        upper_ = upperHalfUtf8(codePoints);
    }
    uint32_t number() const noexcept override { return number_; }
    const UpperHalfUtf8* upperHalf() const noexcept override { return maxCharSize_ == 1 ? &upper_ : nullptr; }

    void decode(std::string_view bytes, std::string& utf8) override
    {
        if (maxCharSize_ == 1) {
            decodeByUpperHalf(bytes, upper_, utf8);
            return;
        }
        // One call for the whole text; only text with an undefined sequence
        // is taken apart, character by character.
        const int length = toWide(bytes);
        if (length > 0) {
            appendDecoded(utf8, length);
            return;
        }
        for (std::size_t at = 0; at < bytes.size();) {
            if (static_cast<unsigned char>(bytes[at]) < 0x80) {
                utf8 += bytes[at++];
                continue;
            }
            // The shortest sequence the code page defines: a lead byte alone,
            // or with a byte that cannot follow it, is no character.
            std::size_t size = 1;
            int wide = 0;
            for (; size <= maxCharSize_ && at + size <= bytes.size(); ++size)
                if ((wide = toWide(bytes.substr(at, size))) > 0)
                    break;
            if (wide > 0) {
                appendDecoded(utf8, wide);
                at += size;
            } else {
                appendUtf8(utf8, kReplacement);
                ++at;
            }
        }
    }

    bool encode(std::string_view utf8, std::string& bytes) override
    {
        const int wideLength =
            MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
        if (wideLength <= 0)
            return utf8.empty();
        std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                            wideLength);
        // Without flags: some code pages refuse every flag. Whether each
        // character was written exactly (no default character, no "best
        // fit" look-alike) shows when the result is read back.
        const int size = WideCharToMultiByte(number_, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
        if (size <= 0)
            return false;
        std::string encoded(static_cast<std::size_t>(size), '\0');
        WideCharToMultiByte(number_, 0, wide.data(), wideLength, encoded.data(), size, nullptr, nullptr);
        std::string back;
        decode(encoded, back);
        if (back != utf8)
            return false;
        bytes += encoded;
        return true;
    }

private:
    // The bytes as UTF-16 in wide_; 0 when a sequence is undefined.
    int toWide(std::string_view bytes)
    {
        if (bytes.empty())
            return 0;
        if (wide_.size() < bytes.size())
            wide_.resize(bytes.size());
        return MultiByteToWideChar(number_, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                                   wide_.data(), static_cast<int>(wide_.size()));
    }

    // Windows gives the C1 controls for the bytes its single-byte tables
    // leave undefined (0x81 in 1252): no text holds them.
    void appendDecoded(std::string& utf8, int length)
    {
        for (int i = 0; i < length; ++i)
            if (wide_[static_cast<std::size_t>(i)] >= 0x80 && wide_[static_cast<std::size_t>(i)] <= 0x9F)
                wide_[static_cast<std::size_t>(i)] = static_cast<wchar_t>(kReplacement);
        appendUtf16(utf8, wide_.data(), static_cast<std::size_t>(length));
    }

    uint32_t number_;
    unsigned maxCharSize_;
    std::vector<wchar_t> wide_;
    UpperHalfUtf8 upper_;
};

}  // namespace

std::unique_ptr<CodePage> openCodePage(uint32_t number, std::string& error)
{
    if (number == 0)
        number = GetACP();
    const std::string name = "code page " + std::to_string(number);
    CPINFO info{};
    if (!GetCPInfo(number, &info)) {
        error = name + " is not known on this machine";
        return nullptr;
    }
    // The columns and line ends of a log are ASCII: a code page that gives
    // those bytes another meaning (EBCDIC, UTF-7, ISO-2022), or takes no
    // MB_ERR_INVALID_CHARS, is none a log is written in.
    char ascii[0x7F];
    for (std::size_t i = 0; i < sizeof ascii; ++i)
        ascii[i] = static_cast<char>(i + 1);
    wchar_t wide[sizeof ascii] = {};
    bool keepsAscii = MultiByteToWideChar(number, MB_ERR_INVALID_CHARS, ascii, static_cast<int>(sizeof ascii), wide,
                                          static_cast<int>(sizeof ascii)) == static_cast<int>(sizeof ascii);
    for (std::size_t i = 0; keepsAscii && i < sizeof ascii; ++i)
        keepsAscii = wide[i] == static_cast<wchar_t>(i + 1);
    if (!keepsAscii) {
        error = name + " does not keep ASCII as ASCII; a log is never written in it";
        return nullptr;
    }
    return std::make_unique<WindowsCodePage>(number, info.MaxCharSize);
}

#else

std::unique_ptr<CodePage> openCodePage(uint32_t number, std::string& error)
{
    std::unique_ptr<CodePage> codePage = builtInCodePage(number == 0 ? 1252 : number);
    if (!codePage)
        error = "code page " + std::to_string(number) + " is not known to this build (it knows 1252, 1251 and 65001)";
    return codePage;
}

#endif

}  // namespace vr::vrclog
