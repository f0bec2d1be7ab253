#include "text_counter.h"

#include <algorithm>
#include <cstring>

namespace vr::vrclog {

namespace {

constexpr uint64_t kMultiplierA = 0x9E3779B97F4A7C15ull;
constexpr uint64_t kMultiplierB = 0xC2B2AE3D27D4EB4Full;
constexpr uint64_t kFinalMultiplier = 0xD6E8FEB86659FD93ull;

uint64_t eightBytes(const char* bytes) noexcept
{
    uint64_t word = 0;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

uint64_t stir(uint64_t state, uint64_t word, uint64_t multiplier) noexcept
{
    state = (state ^ word) * multiplier;
    return state ^ (state >> 29);
}

}  // namespace

uint64_t hashText(std::string_view text) noexcept
{
    const char* at = text.data();
    std::size_t left = text.size();
    // Two independent lanes, so that long texts do not wait on one chain of
    // multiplications.
    uint64_t a = kMultiplierA ^ left;
    uint64_t b = kMultiplierB;
    for (; left >= 16; at += 16, left -= 16) {
        a = stir(a, eightBytes(at), kMultiplierA);
        b = stir(b, eightBytes(at + 8), kMultiplierB);
    }
    if (left >= 8) {
        a = stir(a, eightBytes(at), kMultiplierA);
        at += 8;
        left -= 8;
    }
    if (left > 0) {
        uint64_t tail = 0;
        std::memcpy(&tail, at, left);
        b = stir(b, tail, kMultiplierB);
    }
    uint64_t hash = a ^ ((b << 31) | (b >> 33));
    hash = (hash ^ (hash >> 32)) * kFinalMultiplier;
    return hash ^ (hash >> 32);
}

void TextCounter::add(std::string_view text, uint64_t amount)
{
    if (const auto found = counts_.find(text); found != counts_.end())
        found->second += amount;
    else
        counts_.emplace(text, amount);
}

std::vector<std::pair<std::string_view, uint64_t>> TextCounter::ranked() const
{
    std::vector<std::pair<std::string_view, uint64_t>> list(counts_.begin(), counts_.end());
    // string_view compares its bytes as unsigned, so the order does not
    // depend on whether char is signed.
    std::sort(list.begin(), list.end(), [](const auto& a, const auto& b) {
        return a.second != b.second ? a.second > b.second : a.first < b.first;
    });
    return list;
}

}  // namespace vr::vrclog
