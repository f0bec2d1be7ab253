#include "trace/core/trace_context.h"

#include <charconv>
#include <cstdio>
#include <cstring>

#include "trace/core/line_columns.h"

extern "C" const char* DBG_BaseName(const char* path)
{
    if (path == nullptr)
        return nullptr;
    const char* base = path;
    for (const char* p = path; *p != '\0'; ++p)
        if (*p == '\\' || *p == '/')
            base = p + 1;
    return base;
}

namespace vr::trace {

int formatLineHeader(char* destination, std::size_t capacity, const char* moduleTag, const char* timestamp,
                     const char* processColumn, const char* sourceFile, int sourceLine) noexcept
{
    return std::snprintf(destination, capacity, "%-*s %*s %-*s%*s%*d ", static_cast<int>(kModuleTagWidth), moduleTag,
                         static_cast<int>(kTimeWidth), timestamp, static_cast<int>(kProcessColumnWidth), processColumn,
                         static_cast<int>(kSourceFileWidth), sourceFile, static_cast<int>(kLineNumberWidth),
                         sourceLine);
}

std::size_t copyBounded(char* destination, std::size_t capacity, std::string_view text) noexcept
{
    if (capacity == 0)
        return 0;
    const std::size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
    std::memcpy(destination, text.data(), n);
    destination[n] = '\0';
    return n;
}

std::size_t appendBounded(char* destination, std::size_t capacity, std::string_view text) noexcept
{
    const std::size_t used = strnlen(destination, capacity);
    if (used >= capacity)
        return used;
    return used + copyBounded(destination + used, capacity - used, text);
}

// "%0<width>d" of value after a separator (none when it is '\0'): every
// tracing call stamps its line, so this is done without the printf machinery.
static char* appendNumber(char* out, char separator, int value, int width) noexcept
{
    if (separator != '\0')
        *out++ = separator;
    char digits[16];
    const bool negative = value < 0;
    char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    const char* first = digits + (negative ? 1 : 0);
    if (negative)
        *out++ = '-';
    for (auto n = end - first + (negative ? 1 : 0); n < width; ++n)
        *out++ = '0';
    for (; first != end; ++first)
        *out++ = *first;
    return out;
}

void formatTimestamp(char* destination, std::size_t capacity, const LocalTime& t) noexcept
{
    // Seven numbers of at most 11 characters each and their separators.
    char text[7 * 12 + 1];
    char* out = appendNumber(text, '\0', t.year, 4);
    out = appendNumber(out, '-', t.month, 2);
    out = appendNumber(out, '-', t.day, 2);
    out = appendNumber(out, ' ', t.hour, 2);
    out = appendNumber(out, ':', t.minute, 2);
    out = appendNumber(out, ':', t.second, 2);
    out = appendNumber(out, '.', t.milliseconds, 3);
    copyBounded(destination, capacity, std::string_view(text, static_cast<std::size_t>(out - text)));
}

void formatProcessColumn(char* destination, std::size_t capacity, const char* executablePath, uint32_t processId,
                         uint32_t threadId) noexcept
{
    char path[260];
    copyBounded(path, sizeof path, executablePath != nullptr ? executablePath : "");
    // Cut at the last dot, even one inside a folder name; a leading dot stays.
    for (std::size_t i = std::strlen(path); i > 1; --i)
        if (path[i - 1] == '.') {
            path[i - 1] = '\0';
            break;
        }
    const std::size_t used = copyBounded(destination, capacity, DBG_BaseName(path));
    if (threadId <= 0xFFFF)
        std::snprintf(destination + used, capacity - used, " %4u %4u", processId, threadId);
    else
        std::snprintf(destination + used, capacity - used, " 0x%08X 0x%08X", processId, threadId);
}

void flushHeldTrc(DBG_CONTEXT& context, const Writer& writer) noexcept
{
    if (context.heldTrcCount > 0) {
        writer(context, context.heldLine, kClassTrc | kHeldLineMask);
        context.heldTrcCount = 0;
    }
}

static void appendDots(DBG_CONTEXT& context, char* destination, std::size_t capacity)
{
    for (int i = 1; i < context.level; ++i)
        if (appendBounded(destination, capacity, ".") >= capacity - 1)
            break;
}

bool buildLine(DBG_CONTEXT& context, const char* text, const char* sourceFile, int sourceLine, uint32_t mask,
               const char* moduleTag, const char* timestamp, const Writer& writer) noexcept
{
    if (text == nullptr || (context.guard & kGuardBuildLine) != 0)
        return false;
    const GuardBit building(context, kGuardBuildLine);
    context.line[0] = '\0';
    const char* base = DBG_BaseName(sourceFile);
    if (base == nullptr || std::strlen(base) > kMaxBaseName)
        return false;
    const int header =
        formatLineHeader(context.line, kTextSize, moduleTag, timestamp, context.processColumn, base, sourceLine);
    if (header < 0)
        context.line[0] = '\0';

    if (mask & kClassRel) {
        appendBounded(context.line, kTextSize, "REL    ");
    } else if (mask & kClassTrc) {
        if (context.heldEntryCount > 0) {
            writer(context, context.heldLine, mask | kHeldLineMask);
            context.heldEntryCount = 0;
        }
        if (context.heldTrcCount > 0 && std::strcmp(context.lastKey, text) == 0) {
            ++context.heldTrcCount;
            char column[16];
            std::snprintf(column, sizeof column, "TRCx%-3d", context.heldTrcCount);
            appendBounded(context.line, kTextSize, column);
        } else {
            if (context.heldTrcCount > 0)
                writer(context, context.heldLine, mask | kHeldLineMask);
            appendBounded(context.line, kTextSize, "TRC    ");
            copyBounded(context.lastKey, kTextSize, text);
            context.heldTrcCount = 1;
        }
        appendDots(context, context.line, kTextSize);
    } else if (mask & kClassAnyDebug) {
        appendBounded(context.line, kTextSize, "DBG    ");
    }
    appendBounded(context.line, kTextSize, text);

    if (mask & kClassTrc)
        copyBounded(context.heldLine, kTextSize, context.line);
    return true;
}

static void buildEntryText(DBG_CONTEXT& context, const char* name, int repeatCount)
{
    // The level, or "level(count)" for a repeated entry, left-aligned in 7.
    char column[32];
    char* end = std::to_chars(column, column + 12, context.level).ptr;
    if (repeatCount != 0) {
        *end++ = '(';
        end = std::to_chars(end, end + 12, repeatCount).ptr;
        *end++ = ')';
    }
    while (end - column < 7)
        *end++ = ' ';
    char* text = context.scratch;
    copyBounded(text, kTextSize, std::string_view(column, static_cast<std::size_t>(end - column)));
    appendDots(context, text, kTextSize);
    appendBounded(text, kTextSize, std::string_view(name, strnlen(name, kEntryNameMax)));
    const std::size_t length = std::strlen(text);
    if (length == 0 || text[length - 1] != '\n')
        appendBounded(text, kTextSize, "\r\n");
    appendBounded(context.line, kTextSize, text);
}

void showEntry(DBG_CONTEXT& context, const char* name, const Writer& writer) noexcept
{
    flushHeldTrc(context, writer);
    if (context.level == 1) {
        // The outermost entry is never held: it opens a new block in the log.
        context.heldEntrySlot = 0;
        context.heldEntryCount = 0;
        buildEntryText(context, name, 0);
        writer(context, "\r\n", kHeldLineMask);
        writer(context, context.line, kHeldLineMask);
        return;
    }
    if (context.heldEntryCount > 0 && context.heldEntrySlot == context.level - 1 &&
        std::strcmp(context.lastKey, name) == 0) {
        ++context.heldEntryCount;
        buildEntryText(context, name, context.heldEntryCount);
        copyBounded(context.heldLine, kTextSize, context.line);
        return;
    }
    if (context.heldEntryCount > 0)
        writer(context, context.heldLine, kHeldLineMask);
    context.heldEntrySlot = context.level - 1;
    context.heldEntryCount = 1;
    buildEntryText(context, name, 0);
    copyBounded(context.heldLine, kTextSize, context.line);
    copyBounded(context.lastKey, kTextSize, name);
}

Route routeFor(uint32_t mask) noexcept
{
    mask &= kMaskWindow;
    Route route{};
    auto add = [&route](Destination d) { route.steps[route.count++] = d; };
    if (mask & kClassRel)
        add(Destination::DriverLog);
    if (mask & kClassTrc) {
        add(Destination::DebugLog);
        add(Destination::DebuggerOutput);
        return route;
    }
    if (mask & kDestLog)
        add(Destination::DebugLog);
    if (mask & kDestOds)
        add(Destination::DebuggerOutput);
    if (mask & (kDestLog | kDestOds | kClassRel))
        return route;
    if (mask & kClassDebugOds)
        add(Destination::DebuggerOutput);
    if (mask & kClassDebugLog)
        add(Destination::DebugLog);
    if (mask & kClassDebugError)
        add(Destination::ErrorReport);
    return route;
}

}  // namespace vr::trace
