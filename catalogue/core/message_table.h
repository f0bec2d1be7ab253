// Reader for a message-table resource as the platform's message compiler lays
// it out: a block count, an array of blocks (low identifier, high identifier,
// offset of the block's first entry), then the entries, each a 16-bit length,
// 16-bit flags and the text. No Windows calls: the message tool and its tests
// use it on any host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vr::catalogue {

struct MessageBlock {
    uint32_t lowId;
    uint32_t highId;  // inclusive
    uint32_t entryOffset;  // from the start of the resource data
};

struct MessageEntry {
    uint32_t id;
    uint32_t offset;  // of the entry's 4-byte head
    uint16_t length;  // head included
    uint16_t flags;
};

inline constexpr uint16_t kEntryUtf16 = 0x0001;  // otherwise the text is 8-bit
inline constexpr size_t kBlockSize = 12;
inline constexpr size_t kEntryHeadSize = 4;

enum class TableFault {
    None,
    Truncated,  // shorter than its block count or a block array says
    BlockRange,  // a block whose high identifier is below its low one
    BlockOrder,  // blocks not ascending, or overlapping
    TooManyEntries,  // more identifiers than the data could hold
    EntryOffset,  // an entry starting outside the entry area
    EntryLength,  // shorter than its head, not a multiple of 4, or past the end
    EntryFlags,  // neither 8-bit nor UTF-16 text
};

const char* describe(TableFault fault) noexcept;

// A validated view of resource data. The data must outlive the table: entries
// point into it and texts are decoded from it on demand.
class MessageTable {
public:
    // Checks every block and every entry before anything is read from them, so
    // that no later call can step outside the data.
    static std::optional<MessageTable> parse(std::span<const uint8_t> data, TableFault* fault = nullptr);

    const std::vector<MessageBlock>& blocks() const noexcept { return blocks_; }
    // In ascending identifier order.
    const std::vector<MessageEntry>& entries() const noexcept { return entries_; }

    const MessageEntry* find(uint32_t id) const noexcept;

    // The stored text up to its first NUL; 8-bit texts are widened byte by byte.
    std::u16string text(const MessageEntry& entry) const;

private:
    std::span<const uint8_t> data_;
    std::vector<MessageBlock> blocks_;
    std::vector<MessageEntry> entries_;
};

}  // namespace vr::catalogue
