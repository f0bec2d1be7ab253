#include "trace/core/gap_line.h"

#include <climits>
#include <cstdio>
#include <iterator>

#include "trace/core/line_columns.h"
#include "trace/core/trace_context.h"

namespace vr::trace {

namespace {

// Each cause's words, in the order of LossCause.
constexpr const char* kCauseTexts[] = {"another program held it open", "the disk was full", "a write to it failed",
                                       "the log file had a second name"};
constexpr LossCause kCauses[] = {LossCause::Held, LossCause::DiskFull, LossCause::WriteFailed, LossCause::SecondName};
static_assert(std::size(kCauseTexts) == std::size(kCauses));

}  // namespace

const char* lossCauseText(LossCause cause) noexcept
{
    const auto index = static_cast<std::size_t>(cause);
    return index < std::size(kCauseTexts) ? kCauseTexts[index] : "a write to it failed";
}

namespace {

const char* lineWord(unsigned long lost) noexcept { return lost == 1 ? "line" : "lines"; }

// Takes expected from the front of text; false when text does not start with it.
bool take(std::string_view& text, std::string_view expected) noexcept
{
    if (!text.starts_with(expected))
        return false;
    text.remove_prefix(expected.size());
    return true;
}

}  // namespace

std::size_t formatGapLine(char* destination, std::size_t capacity, const GapLine& gap) noexcept
{
    const int header = formatLineHeader(destination, capacity, gap.moduleTag, gap.timestamp, gap.processColumn,
                                        DBG_BaseName(gap.sourceFile), gap.sourceLine);
    if (header < 0 || static_cast<std::size_t>(header) >= capacity)
        return 0;
    const std::size_t used = static_cast<std::size_t>(header);
    const int message =
        std::snprintf(destination + used, capacity - used, "REL    %.*s%lu %s%.*s%s.\r\n",
                      static_cast<int>(kGapLineStart.size()), kGapLineStart.data(), gap.lost, lineWord(gap.lost),
                      static_cast<int>(kGapLineMarker.size()), kGapLineMarker.data(), lossCauseText(gap.cause));
    if (message <= 0 || static_cast<std::size_t>(message) >= capacity - used)
        return 0;
    return used + static_cast<std::size_t>(message);
}

bool parseGapText(std::string_view message, GapText& gap) noexcept
{
    if (!take(message, kGapLineStart))
        return false;
    // The count as %lu writes it: digits without a sign or leading zeros.
    std::size_t digits = 0;
    while (digits < message.size() && message[digits] >= '0' && message[digits] <= '9')
        ++digits;
    if (digits == 0 || (digits > 1 && message[0] == '0'))
        return false;
    unsigned long lost = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        const auto digit = static_cast<unsigned long>(message[i] - '0');
        if (lost > (ULONG_MAX - digit) / 10)
            return false;
        lost = lost * 10 + digit;
    }
    message.remove_prefix(digits);
    if (!take(message, " ") || !take(message, lineWord(lost)) || !take(message, kGapLineMarker))
        return false;
    for (const LossCause cause : kCauses) {
        std::string_view rest = message;
        if (take(rest, lossCauseText(cause)) && rest == ".") {
            gap.lost = lost;
            gap.cause = cause;
            return true;
        }
    }
    return false;
}

}  // namespace vr::trace
