// The loop every command runs: the records of the merged logs, in time order,
// that the command can show and the filter lets through.
#pragma once

#include "log_filter.h"
#include "log_merge.h"

namespace vr::vrclog {

// Hands `take` each record that `shown` accepts and the filter matches; tells
// whether there was one. `shown` is asked first: it holds the command's own,
// cheaper conditions.
template <typename Shown, typename Take>
bool forEachMatchingRecord(LogMerge& logs, const LogFilter& filter, Shown&& shown, Take&& take)
{
    bool matched = false;
    LogRecord record;
    while (logs.next(record)) {
        if (!shown(record) || !filter.matches(record))
            continue;
        matched = true;
        take(record);
    }
    return matched;
}

// The same for a command that shows every kind of record.
template <typename Take>
bool forEachMatchingRecord(LogMerge& logs, const LogFilter& filter, Take&& take)
{
    return forEachMatchingRecord(
        logs, filter, [](const LogRecord&) noexcept { return true; }, take);
}

}  // namespace vr::vrclog
