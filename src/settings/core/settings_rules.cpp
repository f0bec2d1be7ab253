#include "settings/core/settings_rules.h"

#include <algorithm>

namespace vr::settings {

WideText::WideText(std::span<wchar_t> buffer) noexcept : buffer_(buffer)
{
    if (!buffer_.empty())
        buffer_[0] = L'\0';
}

WideText WideText::adopt(std::span<wchar_t> buffer) noexcept
{
    WideText text(buffer.first(0));
    text.buffer_ = buffer;
    text.length_ = boundedLength(buffer);
    if (text.length_ == buffer.size()) {  // no NUL: keep nothing rather than overrun
        text.length_ = 0;
        if (!buffer.empty())
            buffer[0] = L'\0';
    }
    return text;
}

bool WideText::assign(std::wstring_view text) noexcept
{
    if (text.size() + 1 > buffer_.size())
        return false;
    std::copy(text.begin(), text.end(), buffer_.begin());
    buffer_[text.size()] = L'\0';
    length_ = text.size();
    return true;
}

bool WideText::append(std::wstring_view text) noexcept
{
    if (length_ + text.size() + 1 > buffer_.size())
        return false;
    std::copy(text.begin(), text.end(), buffer_.begin() + static_cast<std::ptrdiff_t>(length_));
    length_ += text.size();
    buffer_[length_] = L'\0';
    return true;
}

std::size_t boundedLength(std::span<const wchar_t> text) noexcept
{
    return static_cast<std::size_t>(std::find(text.begin(), text.end(), L'\0') - text.begin());
}

bool terminateReadText(std::span<wchar_t> buffer, std::size_t bytesRead) noexcept
{
    // Registry and printer data report the size stored, which may lack the
    // NUL (or end in half a character); the buffer's own size bounds it.
    std::size_t characters = std::min(bytesRead / sizeof(wchar_t), buffer.size());
    if (bytesRead % sizeof(wchar_t) != 0 && characters < buffer.size())
        ++characters;
    if (boundedLength(buffer.first(characters)) < characters)
        return true;
    if (characters >= buffer.size())
        return false;
    buffer[characters] = L'\0';
    return true;
}

void fillDefaultProduct(std::span<wchar_t> buffer) noexcept
{
    if (buffer.empty())
        return;
    std::fill(buffer.begin(), buffer.end(), L'\0');
    const std::size_t count = std::min(kDefaultProduct.size(), buffer.size() - 1);
    std::copy_n(kDefaultProduct.begin(), count, buffer.begin());
}

}  // namespace vr::settings
