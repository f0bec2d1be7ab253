// Texts counted by how often (or how many times over) they came, as the
// summary counts function names and TRC texts. A text seen before is found
// by its view, without building a string; only a new text is copied. No
// platform calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vr::vrclog {

// A 64-bit hash of the bytes of text, read eight at a time. Not for storage:
// it may differ between machines of another byte order.
uint64_t hashText(std::string_view text) noexcept;

class TextCounter {
public:
    void add(std::string_view text, uint64_t amount);

    // Every text with its count, most first; equal counts by text.
    std::vector<std::pair<std::string_view, uint64_t>> ranked() const;
    std::size_t size() const noexcept { return counts_.size(); }

private:
    // Hashes a string_view and a string alike, so that lookups need no string.
    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const noexcept
        {
            return static_cast<std::size_t>(hashText(text));
        }
    };
    std::unordered_map<std::string, uint64_t, TextHash, std::equal_to<>> counts_;
};

}  // namespace vr::vrclog
