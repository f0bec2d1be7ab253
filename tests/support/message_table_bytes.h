// Builds message-table resource data the way the message compiler lays it out,
// for tests that need a small catalogue or a deliberately damaged one.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vr::test {

inline void put32(std::vector<uint8_t>& data, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        data[at + i] = uint8_t(value >> (8 * i));
}

inline void put16(std::vector<uint8_t>& data, size_t at, uint16_t value)
{
    data[at] = uint8_t(value);
    data[at + 1] = uint8_t(value >> 8);
}

// Consecutive identifiers share a block; entries follow the block array back
// to back, UTF-16, NUL-terminated and padded to a multiple of 4 bytes.
inline std::vector<uint8_t> buildTable(const std::map<uint32_t, std::u16string>& messages)
{
    struct Run {
        uint32_t low, high;
    };
    std::vector<Run> runs;
    for (const auto& [id, text] : messages) {
        if (!runs.empty() && runs.back().high + 1 == id && id != 0)
            runs.back().high = id;
        else
            runs.push_back({id, id});
    }
    std::vector<uint8_t> data(4 + 12 * runs.size());
    put32(data, 0, uint32_t(runs.size()));
    size_t run = 0;
    for (const auto& [id, text] : messages) {
        if (id == runs[run].low) {
            put32(data, 4 + 12 * run, runs[run].low);
            put32(data, 8 + 12 * run, runs[run].high);
            put32(data, 12 + 12 * run, uint32_t(data.size()));
        }
        const size_t textBytes = (text.size() + 1) * 2;
        const size_t length = 4 + (textBytes + 3) / 4 * 4;
        const size_t at = data.size();
        data.resize(at + length, 0);
        put16(data, at, uint16_t(length));
        put16(data, at + 2, 1);
        for (size_t i = 0; i < text.size(); ++i)
            put16(data, at + 4 + 2 * i, text[i]);
        if (id == runs[run].high)
            ++run;
    }
    return data;
}

}  // namespace vr::test
