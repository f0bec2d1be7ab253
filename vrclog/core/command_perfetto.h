// vrclog perfetto: the logs as a timeline in the Chrome trace event format.
// No platform calls.
#pragma once

#include "code_page.h"
#include "log_filter.h"
#include "log_merge.h"
#include "text_sink.h"

namespace vr::vrclog {

// Reads the stream to its end, writing the timeline to json; tells whether any
// record matched the filter.
bool runPerfetto(LogMerge& logs, const LogFilter& filter, CodePage& codePage, TextSink& json);

}  // namespace vr::vrclog
