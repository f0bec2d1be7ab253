#include "log_filter.h"

#include <algorithm>

namespace vr::vrclog {

namespace {

char lowerAscii(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool equalsIgnoringCase(std::string_view a, std::string_view b) noexcept
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lowerAscii(x) == lowerAscii(y); });
}

bool LogFilter::matches(const LogRecord& record) const noexcept
{
    const LineHeader& header = record.header;
    // A record without a header has no process: a filter by process leaves it out.
    if (!processName.empty() && (!record.hasHeader || !equalsIgnoringCase(header.processName, processName)))
        return false;
    if (processId && (!record.hasHeader || header.processId != *processId))
        return false;
    if (threadId && (!record.hasHeader || header.threadId != *threadId))
        return false;
    if (classes != 0 && (classes & classBit(header.lineClass)) == 0)
        return false;
    // Log times sort as text.
    if (!from.empty() && header.time < std::string_view(from))
        return false;
    if (!to.empty() && (header.time.empty() || header.time > std::string_view(to)))
        return false;
    if (!text.empty() && record.raw.find(text) == std::string_view::npos)
        return false;
    return true;
}

std::optional<LineClass> classByName(std::string_view name) noexcept
{
    for (LineClass c : {LineClass::Rel, LineClass::Trc, LineClass::Dbg, LineClass::Entry, LineClass::Error})
        if (equalsIgnoringCase(name, lineClassName(c)))
            return c;
    return std::nullopt;
}

std::optional<std::string> normalizeTime(std::string_view text, bool upperBound)
{
    constexpr std::string_view kPattern = "dddd-dd-dd dd:dd:dd.ddd";
    constexpr std::size_t kSecondsLength = 19;
    if (text.size() != kSecondsLength && text.size() != kPattern.size())
        return std::nullopt;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (kPattern[i] == 'd' ? !digit : text[i] != kPattern[i])
            return std::nullopt;
    }
    std::string time(text);
    if (time.size() == kSecondsLength)
        time += upperBound ? ".999" : ".000";
    return time;
}

}  // namespace vr::vrclog
