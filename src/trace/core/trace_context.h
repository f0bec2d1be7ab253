// The per-thread trace context and the line building that works on it. No
// platform calls here: the shell hands in the time, the process column text
// and a writer for finished lines, so all of this builds and is tested natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

inline constexpr std::size_t DBG_TEXT_SIZE = 96000;       // every text buffer; 95,999 characters at most
inline constexpr std::size_t DBG_MAX_TEXT = DBG_TEXT_SIZE - 1;
inline constexpr int DBG_MAX_LEVEL = 100;                  // traced nesting levels with a name slot
inline constexpr std::size_t DBG_NAME_SLOT_SIZE = 256;     // 255 characters of a function name
inline constexpr std::size_t DBG_ENTRY_NAME_MAX = 256;     // characters of a name shown in an entry line
inline constexpr std::size_t DBG_MAX_BASENAME = 95950;     // longer source file names build no line
inline constexpr std::size_t DBG_DRIVER_PATH_CHARS = DBG_TEXT_SIZE / 2;  // wide driver log path in the scratch buffer

// Guard bits: which tracing operations of the thread are running.
inline constexpr uint32_t DBG_GUARD_TRACE = 0x01;
inline constexpr uint32_t DBG_GUARD_FROM_HERE = 0x02;
inline constexpr uint32_t DBG_GUARD_RETURN = 0x04;
inline constexpr uint32_t DBG_GUARD_TRC = 0x08;
inline constexpr uint32_t DBG_GUARD_PRINT = 0x10;
inline constexpr uint32_t DBG_GUARD_TEXT = 0x20;
inline constexpr uint32_t DBG_GUARD_BUILD_LINE = 0x100;
inline constexpr uint32_t DBG_GUARD_APPEND = 0x200;
// Function tracking stays out while any tracing operation runs.
inline constexpr uint32_t DBG_BLOCKS_TRACKING = 0xFF;
// Messages stay out while a message is formatted or emitted, and also while
// DBG_TRACE, DBG_TraceFromHere or RETURN write a line or a log is appended:
// a folder or settings routine reporting from inside the log path lookup
// would otherwise build its line in the buffers the line in progress lives in.
// DBG_Trc's own bit is left out so that its message still goes out.
inline constexpr uint32_t DBG_BLOCKS_MESSAGES = 0xF0 | DBG_GUARD_TRACE | DBG_GUARD_FROM_HERE |
                                                DBG_GUARD_RETURN | DBG_GUARD_BUILD_LINE | DBG_GUARD_APPEND;

inline constexpr uint32_t DBG_MASK_WINDOW = 0x0FF00000u;
inline constexpr uint32_t DBG_CLASS_DEBUG_ODS = 0x00100000u;
inline constexpr uint32_t DBG_CLASS_DEBUG_LOG = 0x00200000u;
inline constexpr uint32_t DBG_CLASS_DEBUG_ERROR = 0x00400000u;
inline constexpr uint32_t DBG_CLASS_REL = 0x00800000u;
inline constexpr uint32_t DBG_DEST_LOG = 0x01000000u;
inline constexpr uint32_t DBG_DEST_ODS = 0x02000000u;
inline constexpr uint32_t DBG_CLASS_TRC = 0x04000000u;
inline constexpr uint32_t DBG_CLASS_ANY_DEBUG = 0x00700000u;

struct DBG_CONTEXT {
    uint32_t threadId;
    uint32_t guard;
    int32_t level;
    int32_t heldEntrySlot;   // level - 1 of the held entry line
    int32_t heldEntryCount;  // above 0: the held line is an entry line
    int32_t heldTrcCount;    // above 0: the held line is a TRC line
    char heldLine[DBG_TEXT_SIZE];
    char processColumn[DBG_TEXT_SIZE];
    char lastKey[DBG_TEXT_SIZE];
    char line[DBG_TEXT_SIZE];
    char message[DBG_TEXT_SIZE];
    char scratch[DBG_TEXT_SIZE];
    char names[DBG_MAX_LEVEL][DBG_NAME_SLOT_SIZE];
    DBG_CONTEXT* next;
};

extern "C" const char* DBG_BaseName(const char* path);

namespace vr::trace {

// Sends a finished line to the destinations of a mask (the shell's router).
using LineWriter = void (*)(DBG_CONTEXT& context, const char* line, uint32_t mask, void* user);
struct Writer {
    LineWriter write;
    void* user;
    void operator()(DBG_CONTEXT& context, const char* line, uint32_t mask) const { write(context, line, mask, user); }
};

// Copies as much of text as fits, always terminated; returns the length written.
std::size_t copyBounded(char* destination, std::size_t capacity, std::string_view text) noexcept;
// Appends as much of text as fits after the terminated text in destination.
std::size_t appendBounded(char* destination, std::size_t capacity, std::string_view text) noexcept;

struct LocalTime {
    int year, month, day, hour, minute, second, milliseconds;
};
// "yyyy-mm-dd hh:mm:ss.mmm", 23 characters for every four-digit year.
void formatTimestamp(char* destination, std::size_t capacity, const LocalTime& time) noexcept;

// Executable base name without its extension, then process and thread id:
// decimal up to thread id 65,535, eight hex digits each above it.
void formatProcessColumn(char* destination, std::size_t capacity, const char* executablePath,
                         uint32_t processId, uint32_t threadId) noexcept;

// Builds the header, the class column, the dots of a TRC line and the text
// into context.line; holds a TRC line instead of leaving it to be sent.
// Held lines that must go first are written through writer.
bool buildLine(DBG_CONTEXT& context, const char* text, const char* sourceFile, int sourceLine,
               uint32_t mask, const char* moduleTag, const char* timestamp, const Writer& writer) noexcept;

// With the header of an entry line in context.line: writes the outermost
// entry at once after an empty line, folds a repeated entry into the held line,
// or holds a new entry after writing the one held before.
void showEntry(DBG_CONTEXT& context, const char* name, const Writer& writer) noexcept;

// Writes a held TRC line and forgets it.
void flushHeldTrc(DBG_CONTEXT& context, const Writer& writer) noexcept;

// Where a line goes, in the order it is sent.
enum class Destination : uint8_t { DriverLog, DebugLog, DebuggerOutput, ErrorReport };
struct Route {
    Destination steps[4];
    int count;
};
Route routeFor(uint32_t mask) noexcept;

// The mask a held line is written with: the debug log and the debugger output.
inline constexpr uint32_t DBG_HELD_LINE_MASK = DBG_DEST_LOG | DBG_DEST_ODS;

}  // namespace vr::trace
