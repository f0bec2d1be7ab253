#include "trace/core/trace_context.h"

#include <cstdio>
#include <cstring>

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

void formatTimestamp(char* destination, std::size_t capacity, const LocalTime& t) noexcept
{
    std::snprintf(destination, capacity, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second, t.milliseconds);
}

void formatProcessColumn(char* destination, std::size_t capacity, const char* executablePath,
                         uint32_t processId, uint32_t threadId) noexcept
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
        writer(context, context.heldLine, DBG_CLASS_TRC | DBG_HELD_LINE_MASK);
        context.heldTrcCount = 0;
    }
}

static void appendDots(DBG_CONTEXT& context, char* destination, std::size_t capacity)
{
    for (int i = 1; i < context.level; ++i)
        if (appendBounded(destination, capacity, ".") >= capacity - 1)
            break;
}

bool buildLine(DBG_CONTEXT& context, const char* text, const char* sourceFile, int sourceLine,
               uint32_t mask, const char* moduleTag, const char* timestamp, const Writer& writer) noexcept
{
    if (text == nullptr || (context.guard & DBG_GUARD_BUILD_LINE) != 0)
        return false;
    context.guard |= DBG_GUARD_BUILD_LINE;
    context.line[0] = '\0';
    const char* base = DBG_BaseName(sourceFile);
    if (base == nullptr || std::strlen(base) > DBG_MAX_BASENAME) {
        context.guard &= ~DBG_GUARD_BUILD_LINE;
        return false;
    }
    int header = std::snprintf(context.line, DBG_TEXT_SIZE, "%-7s %23s %-20s%25s%5d ", moduleTag, timestamp,
                               context.processColumn, base, sourceLine);
    if (header < 0)
        context.line[0] = '\0';

    if (mask & DBG_CLASS_REL) {
        appendBounded(context.line, DBG_TEXT_SIZE, "REL    ");
    } else if (mask & DBG_CLASS_TRC) {
        if (context.heldEntryCount > 0) {
            writer(context, context.heldLine, mask | DBG_HELD_LINE_MASK);
            context.heldEntryCount = 0;
        }
        if (context.heldTrcCount > 0 && std::strcmp(context.lastKey, text) == 0) {
            ++context.heldTrcCount;
            char column[16];
            std::snprintf(column, sizeof column, "TRCx%-3d", context.heldTrcCount);
            appendBounded(context.line, DBG_TEXT_SIZE, column);
        } else {
            if (context.heldTrcCount > 0)
                writer(context, context.heldLine, mask | DBG_HELD_LINE_MASK);
            appendBounded(context.line, DBG_TEXT_SIZE, "TRC    ");
            copyBounded(context.lastKey, DBG_TEXT_SIZE, text);
            context.heldTrcCount = 1;
        }
        appendDots(context, context.line, DBG_TEXT_SIZE);
    } else if (mask & DBG_CLASS_ANY_DEBUG) {
        appendBounded(context.line, DBG_TEXT_SIZE, "DBG    ");
    }
    appendBounded(context.line, DBG_TEXT_SIZE, text);

    if (mask & DBG_CLASS_TRC)
        copyBounded(context.heldLine, DBG_TEXT_SIZE, context.line);
    context.guard &= ~DBG_GUARD_BUILD_LINE;
    return true;
}

static void buildEntryText(DBG_CONTEXT& context, const char* name, int repeatCount)
{
    char* text = context.scratch;
    if (repeatCount == 0) {
        std::snprintf(text, DBG_TEXT_SIZE, "%-7d", context.level);
    } else {
        char counted[32];
        std::snprintf(counted, sizeof counted, "%d(%d)", context.level, repeatCount);
        std::snprintf(text, DBG_TEXT_SIZE, "%-7s", counted);
    }
    appendDots(context, text, DBG_TEXT_SIZE);
    appendBounded(text, DBG_TEXT_SIZE, std::string_view(name, strnlen(name, DBG_ENTRY_NAME_MAX)));
    const std::size_t length = std::strlen(text);
    if (length == 0 || text[length - 1] != '\n')
        appendBounded(text, DBG_TEXT_SIZE, "\r\n");
    appendBounded(context.line, DBG_TEXT_SIZE, text);
}

void showEntry(DBG_CONTEXT& context, const char* name, const Writer& writer) noexcept
{
    flushHeldTrc(context, writer);
    if (context.level == 1) {
        // The outermost entry is never held: it opens a new block in the log.
        context.heldEntrySlot = 0;
        context.heldEntryCount = 0;
        buildEntryText(context, name, 0);
        writer(context, "\r\n", DBG_HELD_LINE_MASK);
        writer(context, context.line, DBG_HELD_LINE_MASK);
        return;
    }
    if (context.heldEntryCount > 0 && context.heldEntrySlot == context.level - 1 &&
        std::strcmp(context.lastKey, name) == 0) {
        ++context.heldEntryCount;
        buildEntryText(context, name, context.heldEntryCount);
        copyBounded(context.heldLine, DBG_TEXT_SIZE, context.line);
        return;
    }
    if (context.heldEntryCount > 0)
        writer(context, context.heldLine, DBG_HELD_LINE_MASK);
    context.heldEntrySlot = context.level - 1;
    context.heldEntryCount = 1;
    buildEntryText(context, name, 0);
    copyBounded(context.heldLine, DBG_TEXT_SIZE, context.line);
    copyBounded(context.lastKey, DBG_TEXT_SIZE, name);
}

Route routeFor(uint32_t mask) noexcept
{
    mask &= DBG_MASK_WINDOW;
    Route route{};
    auto add = [&route](Destination d) { route.steps[route.count++] = d; };
    if (mask & DBG_CLASS_REL)
        add(Destination::DriverLog);
    if (mask & DBG_CLASS_TRC) {
        add(Destination::DebugLog);
        add(Destination::DebuggerOutput);
        return route;
    }
    if (mask & DBG_DEST_LOG)
        add(Destination::DebugLog);
    if (mask & DBG_DEST_ODS)
        add(Destination::DebuggerOutput);
    if (mask & (DBG_DEST_LOG | DBG_DEST_ODS | DBG_CLASS_REL))
        return route;
    if (mask & DBG_CLASS_DEBUG_ODS)
        add(Destination::DebuggerOutput);
    if (mask & DBG_CLASS_DEBUG_LOG)
        add(Destination::DebugLog);
    if (mask & DBG_CLASS_DEBUG_ERROR)
        add(Destination::ErrorReport);
    return route;
}

}  // namespace vr::trace
