// The per-thread trace context and the line building that works on it. No
// platform calls here: the shell hands in the time, the process column text
// and a writer for finished lines, so all of this builds and is tested natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vr::trace {

inline constexpr std::size_t kTextSize = 96000;  // every text buffer; 95,999 characters at most
inline constexpr std::size_t kMaxText = kTextSize - 1;
inline constexpr int kMaxLevel = 100;  // traced nesting levels with a name slot
inline constexpr std::size_t kNameSlotSize = 256;  // 255 characters of a function name
inline constexpr std::size_t kEntryNameMax = 256;  // characters of a name shown in an entry line
inline constexpr std::size_t kMaxBaseName = 95950;  // longer source file names build no line
inline constexpr std::size_t kDriverPathChars = kTextSize / 2;  // wide driver log path in the scratch buffer

// Guard bits: which tracing operations of the thread are running.
inline constexpr uint32_t kGuardTrace = 0x01;
inline constexpr uint32_t kGuardFromHere = 0x02;
inline constexpr uint32_t kGuardReturn = 0x04;
inline constexpr uint32_t kGuardTrc = 0x08;
inline constexpr uint32_t kGuardPrint = 0x10;
inline constexpr uint32_t kGuardText = 0x20;
inline constexpr uint32_t kGuardRoute = 0x40;
inline constexpr uint32_t kGuardBuildLine = 0x100;
inline constexpr uint32_t kGuardAppend = 0x200;
// Function tracking stays out while any tracing operation runs.
inline constexpr uint32_t kBlocksTracking = 0xFF;
// Messages stay out while a message is formatted or emitted, and also while
// DBG_TRACE, DBG_TraceFromHere or RETURN write a line or a log is appended:
// a folder or settings routine reporting from inside the log path lookup
// would otherwise build its line in the buffers the line in progress lives in.
// DBG_Trc's own bit is left out so that its message still goes out.
inline constexpr uint32_t kBlocksMessages =
    0xF0 | kGuardTrace | kGuardFromHere | kGuardReturn | kGuardBuildLine | kGuardAppend;

// The trace masks of the public header, for the Windows-free code that cannot
// include it (they are checked against each other where both are seen).
inline constexpr uint32_t kMaskWindow = 0x0FF00000u;
inline constexpr uint32_t kClassDebugOds = 0x00100000u;
inline constexpr uint32_t kClassDebugLog = 0x00200000u;
inline constexpr uint32_t kClassDebugError = 0x00400000u;
inline constexpr uint32_t kClassRel = 0x00800000u;
inline constexpr uint32_t kDestLog = 0x01000000u;
inline constexpr uint32_t kDestOds = 0x02000000u;
inline constexpr uint32_t kClassTrc = 0x04000000u;
inline constexpr uint32_t kClassAnyDebug = 0x00700000u;

}  // namespace vr::trace

// One thread's tracing state. Only the owning thread touches it (the list's
// lock guards `next` alone), so nothing in it is atomic. Its rules:
// - guard: a bit per tracing operation of the thread that is running (see the
//   kGuard bits above), set and cleared by a GuardBit for the length of that
//   operation. A call that finds a blocking bit set returns at once: a report
//   from inside the log path lookup must not build a line over the line in
//   progress. The context goes back to the list's spares only at level 0 with
//   no bit set (ContextInUse).
// - level: traced functions the thread is inside (DBG_TRACE up, RETURN down);
//   names[level - 1] holds each one's name for the mismatch report.
// - heldLine: a TRC or entry line held back so that repeats fold into it
//   (heldTrcCount or heldEntryCount above 0 says which; never both); lastKey
//   is the text a repeated TRC line is compared by.
// - line: the line being built; message: DBG_Text's result, which the caller
//   passes on to DBG_Print, so it must not be touched while a line is built.
// - scratch: lent to one user at a time, each done with it before the next
//   starts: the timestamp while a line is built, the entry text while an
//   entry line is built, then the driver log's wide path (kDriverPathChars)
//   while the finished line is appended.
// - processColumn: the executable, process and thread column of this thread.
struct DBG_CONTEXT {
    uint32_t threadId;
    uint32_t guard;
    int32_t level;
    int32_t heldEntrySlot;  // level - 1 of the held entry line
    int32_t heldEntryCount;  // above 0: the held line is an entry line
    int32_t heldTrcCount;  // above 0: the held line is a TRC line
    char heldLine[vr::trace::kTextSize];
    char processColumn[vr::trace::kTextSize];
    char lastKey[vr::trace::kTextSize];
    char line[vr::trace::kTextSize];
    char message[vr::trace::kTextSize];
    char scratch[vr::trace::kTextSize];
    char names[vr::trace::kMaxLevel][vr::trace::kNameSlotSize];
    DBG_CONTEXT* next;
};

extern "C" const char* DBG_BaseName(const char* path);

namespace vr::trace {

// Holds one guard bit of a context for as long as the operation it marks runs.
class GuardBit {
public:
    GuardBit(DBG_CONTEXT& context, uint32_t bit) noexcept : context_(context), bit_(bit) { context_.guard |= bit_; }
    ~GuardBit() { context_.guard &= ~bit_; }
    GuardBit(const GuardBit&) = delete;
    GuardBit& operator=(const GuardBit&) = delete;

private:
    DBG_CONTEXT& context_;
    uint32_t bit_;
};

}  // namespace vr::trace

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
void formatProcessColumn(char* destination, std::size_t capacity, const char* executablePath, uint32_t processId,
                         uint32_t threadId) noexcept;

// Builds the header, the class column, the dots of a TRC line and the text
// into context.line; holds a TRC line instead of leaving it to be sent.
// Held lines that must go first are written through writer.
bool buildLine(DBG_CONTEXT& context, const char* text, const char* sourceFile, int sourceLine, uint32_t mask,
               const char* moduleTag, const char* timestamp, const Writer& writer) noexcept;

// With the header of an entry line in context.line: writes the outermost
// entry at once after an empty line, folds a repeated entry into the held line,
// or holds a new entry after writing the one held before.
void showEntry(DBG_CONTEXT& context, const char* name, const Writer& writer) noexcept;

// Writes a held TRC line and forgets it.
void flushHeldTrc(DBG_CONTEXT& context, const Writer& writer) noexcept;

// The logs: the debug log and the driver log, whose paths the runtime finds,
// and the files callers name (DBG_AppendToLog).
enum class Log : uint8_t { Debug, Driver, Named };
inline constexpr int kLogCount = 3;

// Where a line goes, in the order it is sent.
enum class Destination : uint8_t { DriverLog, DebugLog, DebuggerOutput, ErrorReport };
struct Route {
    Destination steps[4];
    int count;
};
Route routeFor(uint32_t mask) noexcept;

// The mask a held line is written with: the debug log and the debugger output.
inline constexpr uint32_t kHeldLineMask = kDestLog | kDestOds;

}  // namespace vr::trace
