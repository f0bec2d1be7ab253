// The tracer's own constants, its test seams and the steps its sources share.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "trace/core/trace_context.h"
#include "vrc_trace.h"

namespace vr::trace {

inline constexpr int32_t DEEP_LEVEL_NOT_ARMED = 127;
inline constexpr int64_t LOG_ROTATION_SIZE = 100000000;
inline constexpr DWORD LOG_PATH_CHARS = 260;
inline constexpr const char* ERROR_BOX_CAPTION = "GPD_DEBUG Error Message";

// Seams for faults a test cannot get from the platform: a context allocation
// that fails, and the system-modal error box that would block the test.
using ContextAllocator = void* (*)(std::size_t bytes);
using ErrorBoxShower = void (*)(const char* text);
void setContextAllocator(ContextAllocator allocator) noexcept;    // null restores calloc
void setErrorBoxShower(ErrorBoxShower shower) noexcept;           // null restores MessageBoxA

// DBG_GetContext, telling also whether this call has just borrowed the
// fallback context (so the thread had none before it).
DBG_CONTEXT* getContext(bool& borrowedNow);

// The writer's steps on a context already in hand.
void routeInContext(DBG_CONTEXT& context, const char* line, uint32_t mask);
void errorReportInContext(DBG_CONTEXT& context, const char* text);
bool buildLineInContext(DBG_CONTEXT& context, const char* text, const char* sourceFile, int sourceLine,
                        uint32_t mask);
const Writer& heldLineWriter();

}  // namespace vr::trace
