// Trace lines: formatting a message, building its line and sending it by mask
// to the debug log, the driver log, the debugger output or the error box.
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "trace/log_writer.h"

#include "platform/window_station.h"
#include "trace/log_paths.h"
#include "trace/log_queues.h"
#include "trace/thread_contexts.h"
#include "trace/tracer_seams.h"
#include "vrc_trace.h"

namespace {

using namespace vr::trace;

constexpr std::size_t kMessageTextMax = vr::trace::kMaxText - 2;  // room for "\r\n"
constexpr const char* kErrorBoxCaption = "GPD_DEBUG Error Message";

void messageBox(const char* text) { MessageBoxA(nullptr, text, kErrorBoxCaption, MB_SYSTEMMODAL | MB_ICONERROR); }
std::atomic<vr::trace::ErrorBoxHook> errorBoxHook{messageBox};

bool stationVisible() { return vr::platform::windowStationVisible(); }
std::atomic<vr::trace::WindowStationProbe> windowStationProbe{stationVisible};

void routeLine(DBG_CONTEXT& context, const char* line, uint32_t mask);

void writeThroughRoute(DBG_CONTEXT& context, const char* line, uint32_t mask, void*) { routeLine(context, line, mask); }
constexpr vr::trace::Writer routeWriter{writeThroughRoute, nullptr};

// Appends through `append` to one of the two logs at its kept path. When the
// folder of a path kept from an earlier line has gone, a fresh lookup makes it
// again and the line follows it there.
template <class Append>
Appended appendAtKeptPath(Log log, wchar_t* path, DWORD capacity, Append append)
{
    const PathLookup lookup = logPath(log, path, capacity);
    if (!lookup.found)
        return Appended::Lost;
    Appended appended = append(path);
    if (appended == Appended::NoFolder && lookup.earlier && logPath(log, path, capacity, true).found)
        appended = append(path);
    return appended;
}

// Appends to the given file through the queue of `log`, or with no path to
// the debug log. A batch this thread writes is stamped as its own.
Appended appendToLog(DBG_CONTEXT& context, const wchar_t* path, const char* text, Log log = Log::Named)
{
    if (context.guard & kGuardAppend)
        return Appended::Lost;
    const GuardBit appending(context, kGuardAppend);
    const BatchStamp stamp{DbgModuleTag != nullptr ? DbgModuleTag : "", context.processColumn, DBG_Timestamp};
    if (path != nullptr)
        return appendToFile(log, path, text, stamp);
    wchar_t debugLog[kLogPathChars];
    return appendAtKeptPath(Log::Debug, debugLog, kLogPathChars, [text, &stamp](const wchar_t* kept) {
        return appendToFile(Log::Debug, kept, text, stamp);
    });
}

void appendToDriverLog(DBG_CONTEXT& context, const char* line)
{
    // The path is looked up outside the append guard, as the settings it
    // reads may report; the append itself is guarded.
    appendAtKeptPath(Log::Driver, reinterpret_cast<wchar_t*>(context.scratch), kDriverPathChars,
                     [&context, line](const wchar_t* kept) { return appendToLog(context, kept, line, Log::Driver); });
}

void errorReport(DBG_CONTEXT& context, const char* text)
{
    appendToLog(context, nullptr, text);
    // A service's window station is seen by nobody: the system-modal box
    // would wait there for ever for an answer. The line is in the log.
    if (!vr::trace::errorLatched() && windowStationProbe.load()())
        errorBoxHook.load()(text);
}

void routeLine(DBG_CONTEXT& context, const char* line, uint32_t mask)
{
    using vr::trace::Destination;
    const vr::trace::Route route = vr::trace::routeFor(mask);
    for (int i = 0; i < route.count; ++i) {
        switch (route.steps[i]) {
        case Destination::DriverLog:
            appendToDriverLog(context, line);
            break;
        case Destination::DebugLog:
            appendToLog(context, nullptr, line);
            break;
        case Destination::DebuggerOutput:
            OutputDebugStringA(line);
            break;
        case Destination::ErrorReport:
            errorReport(context, line);
            break;
        }
    }
}

bool buildLine(DBG_CONTEXT& context, const char* text, const char* sourceFile, int sourceLine, uint32_t mask)
{
    DBG_Timestamp(context.scratch);
    return vr::trace::buildLine(context, text, sourceFile, sourceLine, mask, DbgModuleTag, context.scratch,
                                routeWriter);
}

}  // namespace

namespace vr::trace {

void setErrorBoxHook(ErrorBoxHook hook) noexcept { errorBoxHook = hook != nullptr ? hook : messageBox; }
void setWindowStationProbe(WindowStationProbe probe) noexcept
{
    windowStationProbe = probe != nullptr ? probe : stationVisible;
}

// Used by function tracking, which keeps its context in hand.
void routeInContext(DBG_CONTEXT& context, const char* line, uint32_t mask) { routeLine(context, line, mask); }
void errorReportInContext(DBG_CONTEXT& context, const char* text) { errorReport(context, text); }
bool buildLineInContext(DBG_CONTEXT& context, const char* text, const char* sourceFile, int sourceLine, uint32_t mask)
{
    return ::buildLine(context, text, sourceFile, sourceLine, mask);
}
const Writer& heldLineWriter() { return routeWriter; }

}  // namespace vr::trace

extern "C" char* DBG_Timestamp(char* buffer)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    vr::trace::formatTimestamp(
        buffer, 24, {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds});
    return buffer;
}

extern "C" void DBG_AppendToLog(const wchar_t* path, const char* text)
{
    DBG_CONTEXT* context = DBG_GetContext();
    if (context != nullptr && text != nullptr)
        appendToLog(*context, path, text);
}

extern "C" void DBG_ErrorReport(const char* text)
{
    DBG_CONTEXT* context = DBG_GetContext();
    if (context != nullptr && text != nullptr)
        errorReport(*context, text);
}

extern "C" void DBG_Route(const char* line, uint32_t mask)
{
    DBG_CONTEXT* context = DBG_GetContext();
    if (context == nullptr || line == nullptr || (context->guard & vr::trace::kBlocksMessages) != 0)
        return;
    // The driver log's path lookup may report from the settings routines: the
    // guard keeps that report from building a line in, or releasing, this
    // context while the line is routed.
    const vr::trace::ContextInUse use(*context);
    const vr::trace::GuardBit routing(*context, vr::trace::kGuardRoute);
    routeLine(*context, line, mask);
}

extern "C" int DBG_BuildLine(const char* text, const char* sourceFile, int sourceLine, uint32_t mask)
{
    DBG_CONTEXT* context = DBG_GetContext();
    return context != nullptr && buildLine(*context, text, sourceFile, sourceLine, mask) ? 1 : 0;
}

extern "C" char* DBG_Text(const char* format, ...)
{
    DBG_CONTEXT* context = DBG_GetContext();
    if (context == nullptr || (context->guard & vr::trace::kBlocksMessages) != 0)
        return nullptr;
    const vr::trace::GuardBit formatting(*context, vr::trace::kGuardText);
    context->message[0] = '\0';
    if (format != nullptr) {
        va_list arguments;
        va_start(arguments, format);
        if (std::vsnprintf(context->message, kMessageTextMax + 1, format, arguments) < 0)
            context->message[0] = '\0';
        va_end(arguments);
    }
    vr::trace::appendBounded(context->message, vr::trace::kTextSize, "\r\n");
    return context->message;
}

extern "C" void DBG_Print(const char* sourceFile, int sourceLine, uint32_t mask, const char* text)
{
    // A text pointer with every bit set is how a component passes "no message
    // here": it points at nothing, so it is ignored before anything reads it.
    if (text == reinterpret_cast<const char*>(~std::uintptr_t{0}))
        return;
    DBG_CONTEXT* context = DBG_GetContext();
    if (context == nullptr || (context->guard & vr::trace::kBlocksMessages) != 0)
        return;
    // Inside DBG_Trc the context is still in use by the caller: it goes later.
    const vr::trace::ContextInUse use(*context);
    const vr::trace::GuardBit printing(*context, vr::trace::kGuardPrint);
    if (buildLine(*context, text, sourceFile, sourceLine, mask) && (mask & DBG_MASK_TRC) == 0)
        routeLine(*context, context->line, mask);
}
