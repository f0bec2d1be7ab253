// The tracer's inner routines and process-wide values, shared by the tracer's
// own sources and its tests; product components use vrc_trace.h only.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "trace_context.h"

extern "C" {
extern DBG_CONTEXT* DbgContextList;       // head of the thread contexts; new ones go in at the head
extern DBG_CONTEXT DbgFallbackContext;    // lent to one thread at a time when a context cannot be allocated
extern int32_t DbgDeepLevel;              // 127 until DBG_TraceFromHere arms it
extern uint32_t DbgErrorLatch;            // 1 after the first structural tracing error
extern const char* DbgModuleTag;          // first column of every line, part of the semaphore name

// The calling thread's context; null only when it could not be allocated while
// the fallback context was lent to another thread (the call is then dropped).
DBG_CONTEXT* DBG_GetContext(void);
void DBG_ReleaseContext(void);
HANDLE DBG_Lock(void);
void DBG_Unlock(HANDLE semaphore);
void DBG_ProcessColumn(char* destination, DWORD threadId);   // destination of DBG_TEXT_SIZE bytes
int DBG_BuildLine(const char* text, const char* sourceFile, int sourceLine, uint32_t mask);
void DBG_Route(const char* line, uint32_t mask);
void DBG_AppendToLog(const wchar_t* path, const char* text);
void DBG_ErrorReport(const char* text);
int DBG_DriverLogPath(wchar_t* buffer, DWORD capacity);
char* DBG_Timestamp(char* buffer);                           // buffer of at least 24 bytes
}

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
