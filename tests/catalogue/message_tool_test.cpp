#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "message_tool.h"
#include "message_table_bytes.h"

using namespace vr::catalogue;
using namespace vr::test;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

using Kinds = std::vector<InsertKind>;
constexpr InsertKind T = InsertKind::Text;
constexpr InsertKind I = InsertKind::Integer;
constexpr InsertKind U = InsertKind::Unsupported;

Kinds slotsOf(std::u16string_view text) { return planInserts(text).slots; }

std::string narrow(const std::u16string& text) { return std::string(text.begin(), text.end()); }

ParsedCommandLine parse(std::initializer_list<std::u16string> arguments)
{
    const std::vector<std::u16string> list(arguments);
    return parseCommandLine(list);
}

BoundInserts bind(std::u16string_view text, std::initializer_list<std::u16string> values)
{
    const std::vector<std::u16string> list(values);
    return bindInserts(planInserts(text), list);
}

}  // namespace

TEST(InsertPlan, ReadsInsertsAsTheFormatterDoes)
{
    EXPECT_EQ(slotsOf(u"No inserts, 50%% done%n%t%Do%0\r\n"), Kinds{});
    EXPECT_EQ(slotsOf(u"file %1.%0\r\n"), Kinds{T});
    EXPECT_EQ(slotsOf(u"Discovered %1!d!%0\r\n"), Kinds{I});
    EXPECT_EQ(slotsOf(u"code %1!d!.%n%2!s!%n%3!s!%0\r\n"), (Kinds{I, T, T}));
    EXPECT_EQ(slotsOf(u"%1%2exceeded: %3!d!.%0\r\n"), (Kinds{T, T, I}));
    EXPECT_EQ(slotsOf(u"sent %2!d!%% of %1"), (Kinds{T, I}));
    // A gap still takes its slot; two digits make one insert number.
    EXPECT_EQ(slotsOf(u"only %3"), (Kinds{T, T, T}));
    EXPECT_EQ(slotsOf(u"%12").size(), 12u);
    // Width, flags, h/l and the other 32-bit conversions are one integer each.
    EXPECT_EQ(slotsOf(u"%1!-5d! %2!08X! %3!lu!"), (Kinds{I, I, I}));
    // "%%1" is a percent sign and a digit.
    EXPECT_EQ(slotsOf(u"100%%1"), Kinds{});
}

TEST(InsertPlan, IgnoresEverythingBehindTheFirstEndMark)
{
    EXPECT_EQ(slotsOf(u"Ready.%0 \r\n;// VRC4501: was %1!d!.%0 \r\n"), Kinds{});
    EXPECT_EQ(producedPart(u"VRC4501: text.%0 \r\n;// old.%0 \r\n"), u"VRC4501: text.");
    EXPECT_EQ(producedPart(u"verified\r\n"), u"verified\r\n");
    EXPECT_EQ(producedPart(u"50%%0 of it%0"), u"50%%0 of it");
    EXPECT_EQ(producedPart(u"trailing %"), u"trailing %");
}

TEST(InsertPlan, MarksWhatCannotBeSuppliedAsOneValue)
{
    const InsertPlan star = planInserts(u"%1!*d!");
    EXPECT_EQ(star.slots, Kinds{U});
    EXPECT_EQ(star.unsupportedFormat, u"%1!*d!");
    EXPECT_EQ(slotsOf(u"%1!I64d!"), Kinds{U});
    EXPECT_EQ(slotsOf(u"%1!S!"), Kinds{U});
    EXPECT_EQ(slotsOf(u"%1!d"), Kinds{U});  // never closed
    EXPECT_EQ(slotsOf(u"%1 and %1!d!"), Kinds{U});  // one value cannot be both
    EXPECT_EQ(slotsOf(u"%1!d! and %1!d!"), Kinds{I});
}

TEST(TextCode, IsTheCodeAndColonAtTheStart)
{
    EXPECT_EQ(textCode(u"VRC4501: The service"), u"VRC4501");
    EXPECT_EQ(textCode(u"VRC5104:AAA"), u"VRC5104");
    EXPECT_EQ(textCode(u"ERR7100: x"), u"ERR7100");
    EXPECT_FALSE(textCode(u"VRC450: x"));
    EXPECT_FALSE(textCode(u"VRC45012: x"));
    EXPECT_FALSE(textCode(u" VRC4501: x"));
    EXPECT_FALSE(textCode(u"VRC4501"));
    EXPECT_FALSE(textCode(u"Warning%0\r\n"));
}

TEST(CommandLine, ChoosesTheCommand)
{
    EXPECT_EQ(parse({}).request.command, Command::Usage);
    EXPECT_EQ(parse({u"--help"}).request.command, Command::Help);
    EXPECT_EQ(parse({u"--list"}).request.command, Command::List);
    EXPECT_FALSE(parse({u"--list", u"x"}).error.empty());
    EXPECT_FALSE(parse({u"--search"}).error.empty());
    EXPECT_EQ(parse({u"--search", u"temporarily", u"unavailable"}).request.searchText, u"temporarily unavailable");

    const auto byId = parse({u"0xaff203EC", u"report.tmp", u"-5"});
    EXPECT_TRUE(byId.error.empty());
    EXPECT_EQ(byId.request.command, Command::Format);
    EXPECT_EQ(byId.request.id, 0xAFF203ECu);
    EXPECT_THAT(byId.request.inserts, ElementsAre(u"report.tmp", u"-5"));
    EXPECT_EQ(parse({u"2951873516"}).request.id, 0xAFF203ECu);

    for (std::u16string code : {u"VRC4501", u"vrc4501", u"VRC4501:"}) {
        const auto byCode = parse({code});
        EXPECT_EQ(byCode.request.command, Command::Format) << narrow(code);
        EXPECT_EQ(byCode.request.textCode, u"VRC4501");
        EXPECT_FALSE(byCode.request.id);
    }
}

TEST(CommandLine, RefusesWhatIsNeitherIdentifierNorCode)
{
    for (std::u16string bad : {u"0x", u"0x1FFFFFFFF", u"0xAFF2G3EC", u"4294967296", u"VRC45", u"XYZ4501", u"--lst"}) {
        const auto parsed = parse({bad});
        EXPECT_EQ(parsed.request.command, Command::Usage) << narrow(bad);
        EXPECT_FALSE(parsed.error.empty()) << narrow(bad);
    }
}

TEST(BindInserts, GivesEachSlotAValueOfItsKind)
{
    const auto bound = bind(u"VRC1153: failed! Error: %1!d! %nPrinter:%2%nDriver:%3%0\r\n", {u"-5", u"P", u"D"});
    ASSERT_TRUE(bound.error.empty()) << narrow(bound.error);
    ASSERT_EQ(bound.values.size(), 3u);
    EXPECT_EQ(bound.values[0].kind, InsertKind::Integer);
    EXPECT_EQ(bound.values[0].number, uint32_t(-5));
    EXPECT_EQ(bound.values[1].text, u"P");
    EXPECT_EQ(bound.values[2].text, u"D");
    EXPECT_TRUE(bind(u"no inserts%0", {}).error.empty());
}

TEST(BindInserts, RefusesValuesThatDoNotFit)
{
    EXPECT_THAT(narrow(bind(u"file %1 to %2%0", {u"a"}).error), HasSubstr("%2 is missing"));
    EXPECT_THAT(narrow(bind(u"file %1%0", {}).error), HasSubstr("%1 is missing"));
    EXPECT_THAT(narrow(bind(u"file %1%0", {u"a", u"b"}).error), HasSubstr("takes 1 insert, 2 given"));
    EXPECT_THAT(narrow(bind(u"Discovered %1!d!%0", {u"five"}).error), HasSubstr("must be a 32-bit number"));
    EXPECT_THAT(narrow(bind(u"%1!*d!", {u"5"}).error), HasSubstr("cannot supply"));
}

TEST(BindInserts, NumbersAreThirtyTwoBits)
{
    EXPECT_EQ(parseInteger(u"2147483647"), 0x7FFFFFFFu);
    EXPECT_EQ(parseInteger(u"-2147483648"), 0x80000000u);
    EXPECT_EQ(parseInteger(u"+7"), 7u);
    EXPECT_EQ(parseInteger(u"0xFFFFFFFF"), 0xFFFFFFFFu);
    for (std::u16string bad :
         {u"2147483648", u"-2147483649", u"0x100000000", u"", u"-", u"1e3", u"12 ", u"99999999999"})
        EXPECT_FALSE(parseInteger(bad)) << narrow(bad);
}

TEST(Catalogue, FindsByTextCodeAndSearchesWhatIsProduced)
{
    const auto data = buildTable({
        {0x6FFD119E, u"VRC4510: Printer not ready.%0 \r\n;//VRC4510: Printer not ready for printing.%0 \r\n"},
        {0xA1040001, u"VRC1180: Output width is beyond the limit.%0\r\n"},
        {0xAFF71194, u"maximum number of pages: \r\n"},
        {0xAFF71195, u"VRC4501: The service is temporarily unavailable.%0 \r\n;// VRC4599: Hidden.%0 \r\n"},
    });
    const auto table = MessageTable::parse(data);
    ASSERT_TRUE(table);
    ASSERT_NE(findByTextCode(*table, u"VRC1180"), nullptr);
    EXPECT_EQ(findByTextCode(*table, u"VRC1180")->id, 0xA1040001u);
    EXPECT_EQ(findByTextCode(*table, u"VRC4510")->id, 0x6FFD119Eu);
    // A code named only in the stored older wording is no message's code.
    EXPECT_EQ(findByTextCode(*table, u"VRC4599"), nullptr);

    const auto found = search(*table, u"TEMPORARILY unavailable");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0]->id, 0xAFF71195u);
    EXPECT_TRUE(search(*table, u"Hidden").empty());
    EXPECT_EQ(search(*table, u"pages").size(), 1u);
}

TEST(Catalogue, ListingLineShowsIdentifierSeverityFacilityAndText)
{
    const auto data = buildTable({{0xAFF71194, u"maximum number of pages: \r\n"}, {0x2FFB1771, u"Done%0\r\n"}});
    const auto table = MessageTable::parse(data);
    ASSERT_TRUE(table);
    const std::string warning = narrow(listingLine(*table, *table->find(0xAFF71194)));
    EXPECT_THAT(warning, ::testing::StartsWith("0xAFF71194  warning "));
    EXPECT_THAT(warning, HasSubstr("0xFF7 print service errors"));
    EXPECT_THAT(warning, ::testing::EndsWith("maximum number of pages: \\r\\n"));
    const std::string success = narrow(listingLine(*table, *table->find(0x2FFB1771)));
    EXPECT_THAT(success, HasSubstr("success"));
    EXPECT_THAT(success, HasSubstr("0xFFB driver update errors"));
    EXPECT_THAT(success, ::testing::EndsWith(" Done"));
}
