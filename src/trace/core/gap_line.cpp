#include "trace/core/gap_line.h"

#include <cstdio>

#include "trace/core/trace_context.h"

namespace vr::trace {

const char* lossCauseText(LossCause cause) noexcept
{
    switch (cause) {
    case LossCause::Held:
        return "another program held it open";
    case LossCause::DiskFull:
        return "the disk was full";
    case LossCause::WriteFailed:
        return "a write to it failed";
    case LossCause::SecondName:
        return "the log file had a second name";
    }
    return "a write to it failed";
}

std::size_t formatGapLine(char* destination, std::size_t capacity, const GapLine& gap) noexcept
{
    const int length =
        std::snprintf(destination, capacity,
                      "%-7s %23s %-20s%25s%5d REL    TRACE ERROR: %lu %s could not be written to this "
                      "log: %s.\r\n",
                      gap.moduleTag, gap.timestamp, gap.processColumn, DBG_BaseName(gap.sourceFile), gap.sourceLine,
                      gap.lost, gap.lost == 1 ? "line" : "lines", lossCauseText(gap.cause));
    return length > 0 && static_cast<std::size_t>(length) < capacity ? static_cast<std::size_t>(length) : 0;
}

}  // namespace vr::trace
