// The summary's counter: a text counted again adds to its own entry, never to
// one with the same hash or the same beginning; the ranking orders equal
// counts by every byte of the text, beyond the bytes kept for sorting.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text_counter.h"

namespace vr::vrclog {
namespace {

TEST(TextCounter, EqualTextsAddUpAndOthersStayApart)
{
    TextCounter counter;
    const std::string prefix(40, 'p');
    counter.add(prefix + "a", 2);
    counter.add(prefix + "b", 3);
    counter.add(prefix, 1);
    counter.add("", 4);
    counter.add(std::string(prefix + "a"), 5);  // another copy of the same bytes
    counter.add("", 1);
    const auto ranked = counter.ranked();
    ASSERT_EQ(ranked.size(), 4u);
    EXPECT_EQ(ranked[0], (std::pair<std::string_view, uint64_t>{prefix + "a", 7}));
    EXPECT_EQ(ranked[1], (std::pair<std::string_view, uint64_t>{"", 5}));
    EXPECT_EQ(ranked[2], (std::pair<std::string_view, uint64_t>{prefix + "b", 3}));
    EXPECT_EQ(ranked[3], (std::pair<std::string_view, uint64_t>{prefix, 1}));
}

TEST(TextCounter, EqualCountsRankByEveryByteAsUnsigned)
{
    TextCounter counter;
    const std::string shared(32, 's');  // as long as the bytes kept for sorting
    const std::vector<std::string> texts = {
        shared + "b",    shared + "a",         shared, "s", std::string("a\0b", 3), "a", "\xff", "\x7f",
        shared + "\x80", std::string("a\0", 2)};
    for (const std::string& text : texts)
        counter.add(text, 1);
    const auto ranked = counter.ranked();
    ASSERT_EQ(ranked.size(), texts.size());
    for (std::size_t i = 1; i < ranked.size(); ++i)
        EXPECT_LT(ranked[i - 1].first, ranked[i].first) << i;
    EXPECT_EQ(ranked.front().first, "a");
    EXPECT_EQ(ranked.back().first, "\xff");
}

TEST(TextCounter, ManyTextsKeepTheirCountsAcrossGrowth)
{
    TextCounter counter;
    constexpr int kTexts = 20000;
    for (int round = 0; round < 3; ++round)
        for (int i = 0; i < kTexts; ++i)
            counter.add("text " + std::to_string(i) + std::string(static_cast<std::size_t>(i % 70), '.'),
                        static_cast<uint64_t>(i % 7 + 1));
    EXPECT_EQ(counter.size(), static_cast<std::size_t>(kTexts));
    const auto ranked = counter.ranked();
    ASSERT_EQ(ranked.size(), static_cast<std::size_t>(kTexts));
    for (const auto& [text, count] : ranked) {
        const int i = std::stoi(std::string(text.substr(5)));
        EXPECT_EQ(count, static_cast<uint64_t>(3 * (i % 7 + 1))) << text;
    }
    for (std::size_t i = 1; i < ranked.size(); ++i)
        EXPECT_TRUE(ranked[i - 1].second > ranked[i].second ||
                    (ranked[i - 1].second == ranked[i].second && ranked[i - 1].first < ranked[i].first));
}

TEST(TextCounter, HashReadsEveryByte)
{
    const std::string base(100, 'x');
    for (std::size_t at = 0; at < base.size(); ++at) {
        std::string changed = base;
        changed[at] = 'y';
        EXPECT_NE(hashText(changed), hashText(base)) << at;
    }
    EXPECT_NE(hashText(std::string_view("ab", 1)), hashText(std::string_view("a\0", 2)));
}

}  // namespace
}  // namespace vr::vrclog
