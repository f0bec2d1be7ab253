// Texts counted by how often (or how many times over) they came, as the
// summary counts function names and TRC texts. Each text is kept once, in an
// arena, and found again by its hash: a text seen before costs no allocation
// and, mostly, one look at a table that fits the cache. No platform calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace vr::vrclog {

class TextCounter {
public:
    TextCounter();

    void add(std::string_view text, uint64_t amount);

    // Every text with its count, most first; equal counts by text.
    std::vector<std::pair<std::string_view, uint64_t>> ranked() const;
    std::size_t size() const noexcept { return entries_.size(); }

private:
    struct Entry {
        std::string_view text;  // in the arena
        uint64_t count = 0;
    };
    // The hash beside the entry's place, so that a text with another hash is
    // passed over without reading its entry.
    struct Slot {
        uint32_t hash = 0;
        uint32_t entry = 0;  // its place in entries_ plus one; 0 for a free slot
    };
    std::string_view keep(std::string_view text);
    void grow();

    std::vector<std::unique_ptr<char[]>> chunks_;
    char* next_ = nullptr;
    std::size_t available_ = 0;
    std::vector<Entry> entries_;
    std::vector<uint32_t> hashes_;  // of each entry, for growing the table
    std::vector<Slot> slots_;  // a power of two long, at most half in use
};

// A 64-bit hash of the bytes of text, read eight at a time. Not for storage:
// it may differ between machines of another byte order.
uint64_t hashText(std::string_view text) noexcept;

}  // namespace vr::vrclog
