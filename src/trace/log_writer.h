// The log writer: a finished line sent by its mask to the driver log, the
// debug log, the debugger output or the error box. The top of the tracer:
// it finds the logs through the log paths and hands lines to the queues.
#pragma once

#include <cstdint>

#include "trace/core/trace_context.h"

namespace vr::trace {

// The writer's steps on a context already in hand, for function tracking.
void routeInContext(DBG_CONTEXT& context, const char* line, uint32_t mask);
void errorReportInContext(DBG_CONTEXT& context, const char* text);
bool buildLineInContext(DBG_CONTEXT& context, const char* text, const char* sourceFile, int sourceLine, uint32_t mask);
const Writer& heldLineWriter();

}  // namespace vr::trace
