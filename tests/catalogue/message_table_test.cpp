#include <gtest/gtest.h>

#include "message_table.h"
#include "message_table_bytes.h"

using namespace vr::catalogue;
using namespace vr::test;

namespace {

const std::map<uint32_t, std::u16string> kSample{
    {0x2FF11F9D, u"Discovered %1!d!%0\r\n"},
    {0x2FF11F9E, u"Busy%0\r\n"},
    {0x6FF10003, u"Warning%0\r\n"},
    {0xAFF203EC, u"VRC1004: Print Failed... Unable to create file %1.%0\r\n"},
    {0xAFF203ED, u"odd%0\r\n"},
    {0xAFF203EF, u"x\r\n"},
};

// A copy of exactly the given bytes, so that the sanitizers see any read past them.
std::optional<MessageTable> parseExactly(const std::vector<uint8_t>& source, size_t size, TableFault* fault,
                                         std::vector<uint8_t>& holder)
{
    holder.assign(source.begin(), source.begin() + size);
    return MessageTable::parse(holder, fault);
}

TableFault faultOf(const std::vector<uint8_t>& data)
{
    TableFault fault = TableFault::None;
    EXPECT_FALSE(MessageTable::parse(data, &fault).has_value());
    return fault;
}

}  // namespace

TEST(MessageTable, FindsEveryMessageByItsBlockAndStep)
{
    const auto data = buildTable(kSample);
    const auto table = MessageTable::parse(data);
    ASSERT_TRUE(table);
    ASSERT_EQ(table->blocks().size(), 4u);  // 1F9D-1F9E, 0003, 03EC-03ED, 03EF
    EXPECT_EQ(table->blocks()[0].entryOffset, 4u + 12 * 4);
    ASSERT_EQ(table->entries().size(), kSample.size());
    for (const auto& [id, text] : kSample) {
        const MessageEntry* entry = table->find(id);
        ASSERT_NE(entry, nullptr) << std::hex << id;
        EXPECT_EQ(entry->id, id);
        EXPECT_EQ(entry->length % 4, 0u);
        EXPECT_EQ(table->text(*entry), text);
    }
}

TEST(MessageTable, IdentifiersOutsideTheBlocksAreNotFound)
{
    const auto data = buildTable(kSample);
    const auto table = MessageTable::parse(data);
    ASSERT_TRUE(table);
    for (uint32_t id : {0u, 0x2FF11F9Cu, 0x2FF11F9Fu, 0xAFF203EEu, 0xAFF203F0u, 0xFFFFFFFFu})
        EXPECT_EQ(table->find(id), nullptr) << std::hex << id;
}

TEST(MessageTable, TextStopsAtTheFirstNulAndWidensEightBitEntries)
{
    // An 8-bit entry: "Hi" then NUL, padded to 8 bytes, with a high byte.
    std::vector<uint8_t> data(4 + 12 + 8, 0);
    put32(data, 0, 1);
    put32(data, 4, 7);
    put32(data, 8, 7);
    put32(data, 12, 16);
    put16(data, 16, 8);
    put16(data, 18, 0);
    data[20] = 'H';
    data[21] = 0xE9;  // é in Latin-1
    const auto table = MessageTable::parse(data);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->text(table->entries()[0]), u"H\u00E9");
}

TEST(MessageTable, EmptyTableHasNoMessages)
{
    const std::vector<uint8_t> data{0, 0, 0, 0};
    const auto table = MessageTable::parse(data);
    ASSERT_TRUE(table);
    EXPECT_TRUE(table->entries().empty());
    EXPECT_EQ(table->find(0), nullptr);
}

TEST(MessageTable, RefusesDamagedHeadersAndBlocks)
{
    EXPECT_EQ(faultOf({}), TableFault::Truncated);
    EXPECT_EQ(faultOf({1, 0, 0}), TableFault::Truncated);

    const auto good = buildTable(kSample);
    auto data = good;
    put32(data, 0, 0xFFFFFFFF);  // a count no data could hold
    EXPECT_EQ(faultOf(data), TableFault::Truncated);

    data = good;
    put32(data, 8, 0x2FF11F9C);  // high below low
    EXPECT_EQ(faultOf(data), TableFault::BlockRange);

    data = good;
    put32(data, 16, 0x2FF11F9E);  // second block starts inside the first
    put32(data, 20, 0x2FF11F9E);
    EXPECT_EQ(faultOf(data), TableFault::BlockOrder);

    data = good;
    put32(data, 4, 0xAFF30000);  // first block above the second
    put32(data, 8, 0xAFF30001);
    EXPECT_EQ(faultOf(data), TableFault::BlockOrder);

    data = good;
    put32(data, 4, 0);  // four billion identifiers in a few hundred bytes
    put32(data, 8, 0x2FF11F9E);
    EXPECT_EQ(faultOf(data), TableFault::TooManyEntries);
}

TEST(MessageTable, RefusesEntriesOutsideTheEntryArea)
{
    const auto good = buildTable(kSample);
    auto data = good;
    put32(data, 12, 8);  // backward, into the block array
    EXPECT_EQ(faultOf(data), TableFault::EntryOffset);

    data = good;
    put32(data, 12, uint32_t(good.size()));  // just past the end
    EXPECT_EQ(faultOf(data), TableFault::EntryOffset);

    data = good;
    put32(data, 12, 0xFFFFFFF0);  // would wrap a 32-bit sum
    EXPECT_EQ(faultOf(data), TableFault::EntryOffset);
}

TEST(MessageTable, RefusesImpossibleEntryLengthsAndFlags)
{
    const auto good = buildTable(kSample);
    const size_t first = 4 + 12 * 4;
    for (uint16_t length : {0, 2, 6, 42, 0xFFFC}) {
        auto data = good;
        put16(data, first, length);
        EXPECT_EQ(faultOf(data), TableFault::EntryLength) << length;
    }
    auto data = good;
    put16(data, first + 2, 2);
    EXPECT_EQ(faultOf(data), TableFault::EntryFlags);
}

TEST(MessageTable, EveryTruncationOfAGoodTableIsRefused)
{
    const auto good = buildTable(kSample);
    std::vector<uint8_t> holder;
    for (size_t size = 0; size < good.size(); ++size) {
        TableFault fault = TableFault::None;
        EXPECT_FALSE(parseExactly(good, size, &fault, holder)) << size;
        EXPECT_NE(fault, TableFault::None) << size;
    }
    EXPECT_TRUE(parseExactly(good, good.size(), nullptr, holder));
}

TEST(MessageTable, BlocksSharingEntriesAreReadWithinBounds)
{
    // A later block pointed back at the first block's entries: nothing is read
    // outside the data, and each identifier gets the entry it points to.
    auto data = buildTable({{10, u"one%0\r\n"}, {20, u"two%0\r\n"}});
    const uint32_t firstEntry = 4 + 12 * 2;
    put32(data, 4 + 12 + 8, firstEntry);
    std::vector<uint8_t> holder;
    const auto table = parseExactly(data, data.size(), nullptr, holder);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->text(*table->find(20)), u"one%0\r\n");
}
