#include "trace/core/line_split.h"

#include <cstring>

namespace vr::trace::fio {

LineSplit splitLine(char* text, std::size_t length) noexcept
{
    if (length == 0 || text[0] == kEndOfText) {
        text[0] = '\0';
        return {false, 0};
    }
    text[length] = '\0';
    const std::size_t readLength = length;
    // The text ends at 0x1A; the file position is put back on it, so that the
    // next read finds it first and ends the text there.
    if (const void* end = std::memchr(text, kEndOfText, length)) {
        length = static_cast<std::size_t>(static_cast<const char*>(end) - text);
        text[length] = '\0';
    }
    // Line ends are searched over every byte read, so a NUL inside a line does
    // not hide the line end behind it.
    const char* lf = static_cast<const char*>(std::memchr(text, '\n', length));
    const char* cr = static_cast<const char*>(std::memchr(text, '\r', length));
    std::size_t used = length;
    if (lf != nullptr && cr != nullptr) {
        const std::size_t cut = static_cast<std::size_t>((lf < cr ? lf : cr) - text);
        used = cut + 1;
        if (used < length && (text[used] == '\n' || text[used] == '\r'))
            ++used;
        text[cut] = '\0';
    } else if (lf != nullptr || cr != nullptr) {
        const std::size_t cut = static_cast<std::size_t>((lf != nullptr ? lf : cr) - text);
        used = cut + 1;
        text[cut] = '\0';
    }
    return {true, readLength - used};
}

}  // namespace vr::trace::fio
