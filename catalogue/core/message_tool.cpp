#include "message_tool.h"

#include <algorithm>
#include <limits>

namespace vr::catalogue {

namespace {

char16_t upper(char16_t c) noexcept { return c >= u'a' && c <= u'z' ? char16_t(c - u'a' + u'A') : c; }

int hexDigit(char16_t c) noexcept
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    c = upper(c);
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// One to ten decimal digits and nothing else (at most 9,999,999,999: no overflow).
std::optional<uint64_t> parseDecimalDigits(std::u16string_view text)
{
    if (text.empty() || text.size() > 10)
        return std::nullopt;
    uint64_t value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c - u'0');
    }
    return value;
}

std::optional<uint32_t> parseIdentifier(std::u16string_view text)
{
    if (text.size() > 2 && text[0] == u'0' && upper(text[1]) == u'X') {
        text.remove_prefix(2);
        if (text.size() > 8)
            return std::nullopt;
        uint32_t value = 0;
        for (char16_t c : text) {
            const int digit = hexDigit(c);
            if (digit < 0)
                return std::nullopt;
            value = value << 4 | uint32_t(digit);
        }
        return value;
    }
    const std::optional<uint64_t> value = parseDecimalDigits(text);
    if (!value || *value > std::numeric_limits<uint32_t>::max())
        return std::nullopt;
    return static_cast<uint32_t>(*value);
}

// "vrc4501", "VRC4501" or "VRC4501:" as the code "VRC4501".
std::optional<std::u16string> parseTextCode(std::u16string_view text)
{
    if (text.size() == 8 && text.back() == u':')
        text.remove_suffix(1);
    if (text.size() != 7)
        return std::nullopt;
    std::u16string code;
    for (char16_t c : text)
        code.push_back(upper(c));
    code.push_back(u':');
    auto parsed = textCode(code);
    return parsed;
}

void appendNumber(std::u16string& out, uint64_t value)
{
    const std::string digits = std::to_string(value);
    out += widen(digits);
}

}  // namespace

std::u16string widen(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::u16string hexIdentifier(uint32_t id)
{
    static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    std::u16string out = u"0x";
    for (int shift = 28; shift >= 0; shift -= 4)
        out.push_back(kDigits[(id >> shift) & 0xF]);
    return out;
}

std::u16string usageText()
{
    return u"Usage:\n"
           u"  vrcmsg <identifier> [insert...]   format a message, e.g. vrcmsg 0xAFF203EC report.tmp\n"
           u"  vrcmsg <text code> [insert...]    format the message that begins with the code, e.g. vrcmsg VRC4501\n"
           u"  vrcmsg --list                     list every message\n"
           u"  vrcmsg --search <text>            list the messages whose text holds <text>\n"
           u"Identifiers are hexadecimal with 0x, or decimal. Inserts fill %1, %2, ... in order;\n"
           u"a number is needed where the message formats one (%1!d!).\n"
           u"Exit codes: 0 done, 1 no such message, 2 bad request, 3 library not usable.\n";
}

ParsedCommandLine parseCommandLine(std::span<const std::u16string> arguments)
{
    ParsedCommandLine parsed;
    Request& request = parsed.request;
    if (arguments.empty()) {
        parsed.error = u"no message given";
        return parsed;
    }
    const std::u16string& first = arguments.front();
    const auto rest = arguments.subspan(1);
    if (first == u"--help" || first == u"-h" || first == u"/?") {
        request.command = Command::Help;
    } else if (first == u"--list") {
        request.command = Command::List;
        if (!rest.empty())
            parsed.error = u"--list takes no arguments";
    } else if (first == u"--search") {
        request.command = Command::Search;
        // Words given unquoted are searched as one phrase.
        for (const std::u16string& word : rest) {
            if (!request.searchText.empty())
                request.searchText += u' ';
            request.searchText += word;
        }
        if (request.searchText.empty())
            parsed.error = u"--search needs a text to look for";
    } else if (auto id = parseIdentifier(first)) {
        request.command = Command::Format;
        request.id = id;
        request.inserts.assign(rest.begin(), rest.end());
    } else if (auto code = parseTextCode(first)) {
        request.command = Command::Format;
        request.textCode = *code;
        request.inserts.assign(rest.begin(), rest.end());
    } else {
        parsed.error = u"\"" + first + u"\" is neither a message identifier nor a text code";
    }
    if (!parsed.error.empty())
        request.command = Command::Usage;
    return parsed;
}

const MessageEntry* findByTextCode(const MessageTable& table, std::u16string_view code)
{
    for (const MessageEntry& entry : table.entries()) {
        const auto found = textCode(table.text(entry));
        if (found && *found == code)
            return &entry;
    }
    return nullptr;
}

std::optional<uint32_t> parseInteger(std::u16string_view text)
{
    if (text.size() > 2 && text[0] == u'0' && upper(text[1]) == u'X')
        return parseIdentifier(text);
    bool negative = false;
    if (!text.empty() && (text[0] == u'-' || text[0] == u'+')) {
        negative = text[0] == u'-';
        text.remove_prefix(1);
    }
    const std::optional<uint64_t> digits = parseDecimalDigits(text);
    if (!digits)
        return std::nullopt;
    const int64_t value = negative ? -static_cast<int64_t>(*digits) : static_cast<int64_t>(*digits);
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return static_cast<uint32_t>(static_cast<int32_t>(value));
}

BoundInserts bindInserts(const InsertPlan& plan, std::span<const std::u16string> given)
{
    BoundInserts bound;
    const size_t needed = plan.slots.size();
    if (given.size() != needed) {
        std::u16string& error = bound.error;
        error = u"the message takes ";
        appendNumber(error, needed);
        error += needed == 1 ? u" insert, " : u" inserts, ";
        appendNumber(error, given.size());
        error += u" given";
        if (given.size() < needed) {
            error += u" (%";
            appendNumber(error, given.size() + 1);
            error += u" is missing)";
        }
        return bound;
    }
    for (size_t slot = 0; slot < needed; ++slot) {
        InsertValue value;
        value.kind = plan.slots[slot];
        std::u16string insertName = u"%";
        appendNumber(insertName, slot + 1);
        switch (value.kind) {
        case InsertKind::Text:
            value.text = given[slot];
            break;
        case InsertKind::Integer:
            if (auto number = parseInteger(given[slot])) {
                value.number = *number;
            } else {
                bound.error = u"insert " + insertName + u" must be a 32-bit number, not \"" + given[slot] + u"\"";
                return bound;
            }
            break;
        case InsertKind::Unsupported:
            bound.error = u"insert " + insertName + u" is formatted in a way this tool cannot supply (" +
                          plan.unsupportedFormat + u")";
            return bound;
        }
        bound.values.push_back(std::move(value));
    }
    return bound;
}

std::u16string listingLine(const MessageTable& table, const MessageEntry& entry)
{
    std::u16string line = hexIdentifier(entry.id);
    line += u"  ";
    std::u16string severity = widen(severityName(severityOf(entry.id)));
    severity.resize(13, u' ');
    line += severity;
    std::u16string facility = hexIdentifier(facilityOf(entry.id)).replace(2, 5, u"");
    if (const char* name = facilityName(facilityOf(entry.id)))
        facility += u" " + widen(name);
    facility.resize(std::max<size_t>(facility.size() + 2, 43), u' ');
    line += facility;
    const std::u16string text = table.text(entry);
    for (char16_t c : producedPart(text)) {
        switch (c) {
        case u'\r':
            line += u"\\r";
            break;
        case u'\n':
            line += u"\\n";
            break;
        case u'\t':
            line += u"\\t";
            break;
        default:
            line.push_back(c);
            break;
        }
    }
    return line;
}

std::vector<const MessageEntry*> search(const MessageTable& table, std::u16string_view needle)
{
    std::vector<const MessageEntry*> found;
    auto sameLetter = [](char16_t a, char16_t b) { return upper(a) == upper(b); };
    for (const MessageEntry& entry : table.entries()) {
        const std::u16string text = table.text(entry);
        const std::u16string_view produced = producedPart(text);
        if (std::search(produced.begin(), produced.end(), needle.begin(), needle.end(), sameLetter) != produced.end())
            found.push_back(&entry);
    }
    return found;
}

}  // namespace vr::catalogue
