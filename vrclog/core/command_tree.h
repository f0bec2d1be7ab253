// vrclog tree: each thread's calls indented by level. No platform calls.
#pragma once

#include "log_filter.h"
#include "log_merge.h"
#include "text_sink.h"

namespace vr::vrclog {

// Reads the stream to its end; tells whether any record matched the filter.
bool runTree(LogMerge& logs, const LogFilter& filter, TextSink& out);

}  // namespace vr::vrclog
