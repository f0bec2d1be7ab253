#include "text_counter.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace vr::vrclog {

namespace {

constexpr std::size_t kArenaChunkBytes = 64 * 1024;
constexpr std::size_t kFirstSlots = 256;
constexpr std::size_t kHeadWords = 4;  // the first 32 bytes of a text, for ranking
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

TextCounter::TextCounter() : slots_(kFirstSlots) {}

std::string_view TextCounter::keep(std::string_view text)
{
    if (text.size() > available_) {
        const std::size_t size = std::max(kArenaChunkBytes, text.size());
        chunks_.push_back(std::make_unique<char[]>(size));
        next_ = chunks_.back().get();
        available_ = size;
    }
    char* place = next_;
    if (!text.empty())
        std::memcpy(place, text.data(), text.size());
    next_ += text.size();
    available_ -= text.size();
    return {place, text.size()};
}

void TextCounter::grow()
{
    std::vector<Slot> bigger(slots_.size() * 2);
    const std::size_t mask = bigger.size() - 1;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        std::size_t place = hashes_[i] & mask;
        while (bigger[place].entry != 0)
            place = (place + 1) & mask;
        bigger[place] = Slot{hashes_[i], static_cast<uint32_t>(i + 1)};
    }
    slots_ = std::move(bigger);
}

void TextCounter::add(std::string_view text, uint64_t amount)
{
    const uint64_t wide = hashText(text);
    const uint32_t hash = static_cast<uint32_t>(wide ^ (wide >> 32));
    const std::size_t mask = slots_.size() - 1;
    std::size_t place = hash & mask;
    for (; slots_[place].entry != 0; place = (place + 1) & mask) {
        if (slots_[place].hash != hash)
            continue;
        Entry& entry = entries_[slots_[place].entry - 1];
        if (entry.text == text) {
            entry.count += amount;
            return;
        }
    }
    entries_.push_back(Entry{keep(text), amount});
    hashes_.push_back(hash);
    slots_[place] = Slot{hash, static_cast<uint32_t>(entries_.size())};
    if (entries_.size() * 2 > slots_.size())
        grow();
}

std::vector<std::pair<std::string_view, uint64_t>> TextCounter::ranked() const
{
    // Texts of equal counts are ordered first by their first bytes, kept
    // beside the count as numbers, most significant byte first, with zeros
    // after the end of a short text: that orders them as their bytes do, and
    // only texts that begin alike are compared in the arena.
    struct Ranked {
        uint64_t count;
        std::array<uint64_t, kHeadWords> head;
        std::string_view text;
    };
    std::vector<Ranked> order;
    order.reserve(entries_.size());
    for (const Entry& entry : entries_) {
        Ranked item{entry.count, {}, entry.text};
        for (std::size_t i = 0; i < kHeadWords * 8; ++i) {
            const uint64_t byte = i < entry.text.size() ? static_cast<unsigned char>(entry.text[i]) : 0u;
            item.head[i / 8] = (item.head[i / 8] << 8) | byte;
        }
        order.push_back(item);
    }
    std::sort(order.begin(), order.end(), [](const Ranked& a, const Ranked& b) {
        if (a.count != b.count)
            return a.count > b.count;
        if (a.head != b.head)
            return a.head < b.head;
        return a.text < b.text;
    });
    std::vector<std::pair<std::string_view, uint64_t>> list;
    list.reserve(order.size());
    for (const Ranked& item : order)
        list.emplace_back(item.text, item.count);
    return list;
}

}  // namespace vr::vrclog
