#include "message_table.h"

#include <algorithm>

namespace vr::catalogue {

namespace {

uint32_t read32(std::span<const uint8_t> data, size_t at) noexcept
{
    return uint32_t(data[at]) | uint32_t(data[at + 1]) << 8 | uint32_t(data[at + 2]) << 16 |
           uint32_t(data[at + 3]) << 24;
}

uint16_t read16(std::span<const uint8_t> data, size_t at) noexcept { return uint16_t(data[at] | data[at + 1] << 8); }

}  // namespace

const char* describe(TableFault fault) noexcept
{
    switch (fault) {
    case TableFault::None:
        return "no fault";
    case TableFault::Truncated:
        return "the data ends inside the block array";
    case TableFault::BlockRange:
        return "a block ends below its first identifier";
    case TableFault::BlockOrder:
        return "blocks are out of order or overlap";
    case TableFault::TooManyEntries:
        return "the blocks name more messages than the data can hold";
    case TableFault::EntryOffset:
        return "an entry starts outside the entry area";
    case TableFault::EntryLength:
        return "an entry has an impossible length";
    case TableFault::EntryFlags:
        return "an entry has unknown flags";
    }
    return "unknown fault";
}

std::optional<MessageTable> MessageTable::parse(std::span<const uint8_t> data, TableFault* fault)
{
    auto fail = [fault](TableFault why) -> std::optional<MessageTable> {
        if (fault)
            *fault = why;
        return std::nullopt;
    };
    if (fault)
        *fault = TableFault::None;
    if (data.size() < 4)
        return fail(TableFault::Truncated);

    const uint64_t blockCount = read32(data, 0);
    const uint64_t entryArea = 4 + kBlockSize * blockCount;
    if (entryArea > data.size())
        return fail(TableFault::Truncated);

    MessageTable table;
    table.data_ = data;
    table.blocks_.reserve(static_cast<size_t>(blockCount));
    uint64_t identifiers = 0;
    for (uint64_t i = 0; i < blockCount; ++i) {
        const size_t at = static_cast<size_t>(4 + kBlockSize * i);
        MessageBlock block{read32(data, at), read32(data, at + 4), read32(data, at + 8)};
        if (block.highId < block.lowId)
            return fail(TableFault::BlockRange);
        // Ascending and disjoint, so that a lookup may search the blocks by halves.
        if (!table.blocks_.empty() && block.lowId <= table.blocks_.back().highId)
            return fail(TableFault::BlockOrder);
        identifiers += uint64_t(block.highId) - block.lowId + 1;
        // Every entry takes at least its head: more identifiers than heads that
        // fit cannot be genuine, and would make the walk below run for ages.
        if (identifiers > (data.size() - entryArea) / kEntryHeadSize)
            return fail(TableFault::TooManyEntries);
        table.blocks_.push_back(block);
    }

    table.entries_.reserve(static_cast<size_t>(identifiers));
    for (const MessageBlock& block : table.blocks_) {
        uint64_t offset = block.entryOffset;
        for (uint64_t id = block.lowId; id <= block.highId; ++id) {
            // An entry inside the block array would read the blocks as text.
            if (offset < entryArea || offset + kEntryHeadSize > data.size())
                return fail(TableFault::EntryOffset);
            const uint16_t length = read16(data, static_cast<size_t>(offset));
            const uint16_t flags = read16(data, static_cast<size_t>(offset) + 2);
            // A zero length would never step on; an odd one would split UTF-16 units.
            if (length < kEntryHeadSize || length % 4 != 0 || offset + length > data.size())
                return fail(TableFault::EntryLength);
            if (flags != 0 && flags != kEntryUtf16)
                return fail(TableFault::EntryFlags);
            table.entries_.push_back(
                MessageEntry{static_cast<uint32_t>(id), static_cast<uint32_t>(offset), length, flags});
            offset += length;
        }
    }
    return table;
}

const MessageEntry* MessageTable::find(uint32_t id) const noexcept
{
    auto it = std::lower_bound(entries_.begin(), entries_.end(), id,
                               [](const MessageEntry& entry, uint32_t wanted) { return entry.id < wanted; });
    return it != entries_.end() && it->id == id ? &*it : nullptr;
}

std::u16string MessageTable::text(const MessageEntry& entry) const
{
    std::u16string text;
    const size_t begin = entry.offset + kEntryHeadSize;
    const size_t end = entry.offset + size_t(entry.length);
    if (entry.flags & kEntryUtf16) {
        for (size_t at = begin; at + 1 < end; at += 2) {
            const char16_t unit = read16(data_, at);
            if (unit == 0)
                break;
            text.push_back(unit);
        }
    } else {
        for (size_t at = begin; at < end && data_[at] != 0; ++at)
            text.push_back(char16_t(data_[at]));
    }
    return text;
}

}  // namespace vr::catalogue
