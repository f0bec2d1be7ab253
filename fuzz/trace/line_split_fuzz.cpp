// Reads the input as a file, line by line with the text reader's splitter, with
// a buffer size taken from the first byte: every call must make progress or
// end the text, never read or write outside the block, and hand back a line
// with no line end in it.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "trace/core/line_split.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t bufferSize = 1 + data[0] % 64;
    const uint8_t* file = data + 1;
    const std::size_t fileSize = size - 1;
    std::size_t position = 0;
    std::vector<char> buffer(bufferSize);
    for (;;) {
        const std::size_t n = std::min(bufferSize - 1, fileSize - position);
        std::memcpy(buffer.data(), file + position, n);
        position += n;
        const vr::trace::fio::LineSplit split = vr::trace::fio::splitLine(buffer.data(), n);
        if (!split.hasLine)
            break;
        if (split.rewind > n)
            std::abort();
        const std::size_t length = strnlen(buffer.data(), bufferSize);
        if (length >= bufferSize || std::memchr(buffer.data(), '\n', length) ||
            std::memchr(buffer.data(), '\r', length))
            std::abort();
        // No progress is only allowed when the text ends at 0x1A next.
        if (split.rewind == n && file[position - n] != 0x1A)
            std::abort();
        position -= split.rewind;
        if (position < fileSize && file[position] == 0x1A && split.rewind == n)
            break;
    }
    return 0;
}
