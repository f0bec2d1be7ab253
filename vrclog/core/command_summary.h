// vrclog summary: what happened overall, and what failed. No platform calls.
#pragma once

#include "log_filter.h"
#include "log_merge.h"
#include "text_sink.h"

namespace vr::vrclog {

// Reads the stream to its end; tells whether any record matched the filter.
bool runSummary(LogMerge& logs, const LogFilter& filter, TextSink& out);

}  // namespace vr::vrclog
