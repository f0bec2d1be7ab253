#include "message_text.h"

#include <array>
#include <utility>

namespace vr::catalogue {

namespace {

bool isDigit(char16_t c) noexcept { return c >= u'0' && c <= u'9'; }

// The conversions whose value is one 32-bit integer: flags, width and precision
// digits, an optional h or l, then one of these letters. Anything else ("*" width,
// 64-bit sizes, narrow strings) would need a different or a second value.
InsertKind kindOfFormat(std::u16string_view format) noexcept
{
    size_t at = 0;
    while (at < format.size() && std::u16string_view(u"-+ #0").find(format[at]) != std::u16string_view::npos)
        ++at;
    while (at < format.size() && (isDigit(format[at]) || format[at] == u'.'))
        ++at;
    std::u16string_view rest = format.substr(at);
    if (rest == u"s" || rest == u"ls" || rest == u"ws")
        return InsertKind::Text;
    if (!rest.empty() && (rest.front() == u'h' || rest.front() == u'l'))
        rest.remove_prefix(1);
    if (rest.size() == 1 && std::u16string_view(u"diuxXoc").find(rest.front()) != std::u16string_view::npos)
        return InsertKind::Integer;
    return InsertKind::Unsupported;
}

constexpr std::array<std::pair<unsigned, const char*>, 12> kFacilities{{
    {0x104, "output width limit"},
    {0xFF1, "interface texts"},
    {0xFF2, "client printing errors"},
    {0xFF4, "job dialog and download errors"},
    {0xFF5, "job transmission errors"},
    {0xFF6, "IPP and HTTP transport errors"},
    {0xFF7, "print service errors"},
    {0xFF9, "authentication and directory errors"},
    {0xFFA, "port monitor errors"},
    {0xFFB, "driver update errors"},
    {0xFFC, "request processing errors"},
    {0xFFD, "printer communication notice"},
}};

}  // namespace

std::u16string_view producedPart(std::u16string_view text) noexcept
{
    for (size_t at = 0; at + 1 < text.size(); ++at) {
        if (text[at] != u'%')
            continue;
        if (text[at + 1] == u'0')
            return text.substr(0, at);
        ++at;  // "%%" and every other escape take the next character with them
    }
    return text;
}

InsertPlan planInserts(std::u16string_view text)
{
    InsertPlan plan;
    std::vector<bool> seen;
    const std::u16string_view produced = producedPart(text);
    auto markUnsupported = [&plan](size_t slot, std::u16string_view format) {
        plan.slots[slot] = InsertKind::Unsupported;
        if (plan.unsupportedFormat.empty())
            plan.unsupportedFormat = format;
    };
    for (size_t at = 0; at + 1 < produced.size(); ++at) {
        if (produced[at] != u'%')
            continue;
        const size_t start = at;
        if (!isDigit(produced[at + 1])) {
            ++at;
            continue;
        }
        unsigned number = produced[++at] - u'0';
        if (at + 1 < produced.size() && isDigit(produced[at + 1]))
            number = number * 10 + (produced[++at] - u'0');
        std::u16string_view format = u"s";
        bool closed = true;
        if (at + 1 < produced.size() && produced[at + 1] == u'!') {
            const size_t close = produced.find(u'!', at + 2);
            closed = close != std::u16string_view::npos;
            format = closed ? produced.substr(at + 2, close - at - 2) : produced.substr(at + 2);
            at = closed ? close : produced.size();
        }
        if (number == 0)
            continue;  // "%0" ends the produced part; never an insert
        const size_t slot = number - 1;
        if (plan.slots.size() <= slot) {
            plan.slots.resize(slot + 1, InsertKind::Text);
            seen.resize(slot + 1, false);
        }
        const InsertKind kind = closed ? kindOfFormat(format) : InsertKind::Unsupported;
        const std::u16string_view whole = produced.substr(start, at + 1 - start);
        if (kind == InsertKind::Unsupported || (seen[slot] && plan.slots[slot] != kind))
            markUnsupported(slot, whole);
        else if (plan.slots[slot] != InsertKind::Unsupported)
            plan.slots[slot] = kind;
        seen[slot] = true;
    }
    return plan;
}

std::optional<std::u16string> textCode(std::u16string_view text)
{
    if (text.size() < 8 || !(text.starts_with(u"VRC") || text.starts_with(u"ERR")))
        return std::nullopt;
    for (size_t at = 3; at < 7; ++at)
        if (!isDigit(text[at]))
            return std::nullopt;
    if (text[7] != u':')
        return std::nullopt;
    return std::u16string(text.substr(0, 7));
}

const char* severityName(unsigned severity) noexcept
{
    static constexpr const char* kNames[] = {"success", "informational", "warning", "error"};
    return severity < 4 ? kNames[severity] : "?";
}

const char* facilityName(unsigned facility) noexcept
{
    for (const auto& [value, name] : kFacilities)
        if (value == facility)
            return name;
    return nullptr;
}

}  // namespace vr::catalogue
