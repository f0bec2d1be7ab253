// Trace lines: formatting a message, building its line and sending it by mask
// to the debug log, the driver log, the debugger output or the error box.
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "platform/handles.h"
#include "trace/tracer_internal.h"
#include "vrc_settings.h"
#include "vrc_trace.h"

namespace {

constexpr const wchar_t* DEBUG_LOG_NAME = L"VRCDBG62.LOG";
constexpr const wchar_t* DRIVER_LOG_NAME = L"VRCDRV62.LOG";
constexpr std::size_t MESSAGE_TEXT_MAX = DBG_MAX_TEXT - 2;   // room for "\r\n"

void messageBox(const char* text)
{
    MessageBoxA(nullptr, text, vr::trace::ERROR_BOX_CAPTION, MB_SYSTEMMODAL | MB_ICONERROR);
}
std::atomic<vr::trace::ErrorBoxShower> errorBoxShower{messageBox};

void routeLine(DBG_CONTEXT& context, const char* line, uint32_t mask);

void writeThroughRoute(DBG_CONTEXT& context, const char* line, uint32_t mask, void*)
{
    routeLine(context, line, mask);
}
constexpr vr::trace::Writer routeWriter{writeThroughRoute, nullptr};

// The product's log folder, then "\" and the file name; false when no folder
// can be found or the whole path does not fit.
bool logPath(wchar_t* buffer, DWORD capacity, const wchar_t* fileName)
{
    buffer[0] = L'\0';
    if (!VRC_GetLogsFolder(buffer, capacity)) {
        buffer[0] = L'\0';
        if (!VRC_GetUserDataFolder(buffer, capacity))
            return false;
    }
    buffer[capacity - 1] = L'\0';
    const std::size_t folder = std::wcslen(buffer);
    const std::size_t name = std::wcslen(fileName);
    if (folder == 0 || folder + 1 + name >= capacity)
        return false;
    buffer[folder] = L'\\';
    std::wmemcpy(buffer + folder + 1, fileName, name + 1);
    return true;
}

// Moves a log that has passed the size limit to its backup name: the path with
// its last three characters replaced by "BAK".
void rotate(const wchar_t* path)
{
    const std::size_t length = std::wcslen(path);
    if (length < 3 || length >= vr::trace::LOG_PATH_CHARS)
        return;   // no backup name fits its buffer: the log keeps growing
    wchar_t backup[vr::trace::LOG_PATH_CHARS];
    std::wmemcpy(backup, path, length + 1);
    std::wmemcpy(backup + length - 3, L"BAK", 3);
    DeleteFileW(backup);
    MoveFileW(path, backup);
}

void appendToFile(const wchar_t* path, const char* text)
{
    const DWORD length = static_cast<DWORD>(std::strlen(text));
    FIO_FILE* file = nullptr;
    if (FIO_Open(path, FIO_MODE_EXISTS, nullptr) != 0) {
        if (FIO_Open(path, FIO_MODE_CREATE, &file) == 0 && file != nullptr) {
            FIO_Write(file, text, length);
            FIO_Close(file);
        }
        return;
    }
    if (FIO_Open(path, FIO_MODE_UPDATE, &file) != 0 || file == nullptr)
        return;   // held open by another writer: the line is lost
    const int previousSize = FIO_Seek(file, 0, FILE_END);
    FIO_Write(file, text, length);
    FIO_Close(file);
    if (previousSize > vr::trace::LOG_ROTATION_SIZE)
        rotate(path);
}

void appendToLog(DBG_CONTEXT& context, const wchar_t* path, const char* text)
{
    if (context.guard & DBG_GUARD_APPEND)
        return;
    context.guard |= DBG_GUARD_APPEND;
    if (path != nullptr) {
        appendToFile(path, text);
    } else {
        vr::UniqueHeapBlock<wchar_t> debugLog(
            static_cast<wchar_t*>(std::calloc(vr::trace::LOG_PATH_CHARS, sizeof(wchar_t))));
        if (debugLog && logPath(debugLog.get(), vr::trace::LOG_PATH_CHARS, DEBUG_LOG_NAME))
            appendToFile(debugLog.get(), text);
    }
    context.guard &= ~DBG_GUARD_APPEND;
}

void errorReport(DBG_CONTEXT& context, const char* text)
{
    appendToLog(context, nullptr, text);
    if (DbgErrorLatch != 1)
        errorBoxShower.load()(text);
}

void routeLine(DBG_CONTEXT& context, const char* line, uint32_t mask)
{
    using vr::trace::Destination;
    const vr::trace::Route route = vr::trace::routeFor(mask);
    for (int i = 0; i < route.count; ++i) {
        switch (route.steps[i]) {
        case Destination::DriverLog: {
            auto* path = reinterpret_cast<wchar_t*>(context.scratch);
            if (DBG_DriverLogPath(path, DBG_DRIVER_PATH_CHARS))
                appendToLog(context, path, line);
            break;
        }
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

void setErrorBoxShower(ErrorBoxShower shower) noexcept
{
    errorBoxShower = shower != nullptr ? shower : messageBox;
}

// Used by function tracking, which keeps its context in hand.
void routeInContext(DBG_CONTEXT& context, const char* line, uint32_t mask) { routeLine(context, line, mask); }
void errorReportInContext(DBG_CONTEXT& context, const char* text) { errorReport(context, text); }
bool buildLineInContext(DBG_CONTEXT& context, const char* text, const char* sourceFile, int sourceLine,
                        uint32_t mask)
{
    return ::buildLine(context, text, sourceFile, sourceLine, mask);
}
const Writer& heldLineWriter() { return routeWriter; }

}  // namespace vr::trace

extern "C" char* DBG_Timestamp(char* buffer)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    vr::trace::formatTimestamp(buffer, 24,
                               {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                                now.wMilliseconds});
    return buffer;
}

extern "C" int DBG_DriverLogPath(wchar_t* buffer, DWORD capacity)
{
    if (buffer == nullptr || capacity == 0)
        return 0;
    buffer[0] = L'\0';
    if (VRC_GetStringValue(nullptr, nullptr, L"DriverLogFile", buffer, capacity * sizeof(wchar_t), 1)) {
        buffer[capacity - 1] = L'\0';
        if (buffer[0] != L'\0')
            return 1;
    }
    // A path that does not fit, or no folder at all, writes nothing rather
    // than a cut name or a file in the root of the current drive.
    return logPath(buffer, capacity, DRIVER_LOG_NAME) ? 1 : 0;
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
    if (context != nullptr && line != nullptr)
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
    if (context == nullptr || (context->guard & DBG_BLOCKS_MESSAGES) != 0)
        return nullptr;
    context->guard |= DBG_GUARD_TEXT;
    context->message[0] = '\0';
    if (format != nullptr) {
        va_list arguments;
        va_start(arguments, format);
        if (std::vsnprintf(context->message, MESSAGE_TEXT_MAX + 1, format, arguments) < 0)
            context->message[0] = '\0';
        va_end(arguments);
    }
    vr::trace::appendBounded(context->message, DBG_TEXT_SIZE, "\r\n");
    context->guard &= ~DBG_GUARD_TEXT;
    return context->message;
}

extern "C" void DBG_Print(const char* sourceFile, int sourceLine, uint32_t mask, const char* text)
{
    if (text == reinterpret_cast<const char*>(~std::uintptr_t{0}))
        return;
    DBG_CONTEXT* context = DBG_GetContext();
    if (context == nullptr || (context->guard & DBG_BLOCKS_MESSAGES) != 0)
        return;
    context->guard |= DBG_GUARD_PRINT;
    if (buildLine(*context, text, sourceFile, sourceLine, mask) && (mask & DBG_MASK_TRC) == 0)
        routeLine(*context, context->line, mask);
    context->guard &= ~DBG_GUARD_PRINT;
    // Inside DBG_Trc the context is still in use by the caller: it goes later.
    if (context->level == 0 && context->guard == 0)
        DBG_ReleaseContext();
}
