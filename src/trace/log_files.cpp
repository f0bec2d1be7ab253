// Appending lines to a log file and moving a log past its size limit to its
// backup. The writer opens the log for every batch of lines, asks only for
// the rights an append needs and shares only reading: a reader costs it
// nothing, while no other writer's bytes can come between a line's own. An
// open refused because another writer holds the log is tried again for about
// a second; after a second in vain, later batches try once until one gets in.
// Lines that cannot be written now are kept for the next batch that gets in,
// and a write that comes up short is cut back, so the log always ends on a
// whole line (where the cut is refused, the next write first ends the piece);
// the first batch after lines were lost writes the kept lines, then says how
// many were lost after them.
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <utility>

#include "trace/log_files.h"

#include "platform/handles.h"
#include "trace/log_rotation.h"
#include "trace/tracer_seams.h"

namespace {

using namespace vr::trace;

// Writing (the cut back after a short write needs it besides appending) and
// reading the attributes, for the check of the handle's names; no right to
// read the log, nor to change its attributes, which the server log folder
// gives nobody.
constexpr DWORD kAppendAccess = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
constexpr ULONGLONG kRetryMilliseconds = 1000;
// The pause before each further try of a refused open: a yield first (the
// other writer is usually about to close), then sleeps growing to a few ms.
constexpr DWORD kBackOff[] = {0, 1, 1, 1, 2, 2, 2, 3, 3, 4};
BOOL writeFile(HANDLE file, const void* bytes, DWORD size, DWORD* written)
{
    return WriteFile(file, bytes, size, written, nullptr);
}
HANDLE createFile(const wchar_t* path, DWORD access, DWORD share, DWORD disposition, DWORD flags)
{
    return CreateFileW(path, access, share, nullptr, disposition, flags, nullptr);
}
void noRace(const wchar_t*) {}
BOOL setEndOfFile(HANDLE file) { return SetEndOfFile(file); }
std::atomic<LogWrite> logWrite{writeFile};
std::atomic<LogCut> logCut{setEndOfFile};
std::atomic<LogOpen> logOpen{createFile};
std::atomic<RotationRace> rotationRace{noRace};

void backOff(unsigned attempt)
{
    const DWORD pause = kBackOff[attempt < std::size(kBackOff) ? attempt : std::size(kBackOff) - 1];
    if (pause == 0)
        SwitchToThread();
    else
        Sleep(pause);
}

// A deleted log lingers, on some file systems and Windows versions, until
// its last handle closes; opening it meanwhile is refused as access denied,
// which only the status beneath tells from a log this user may not write.
constexpr LONG kStatusDeletePending = static_cast<LONG>(0xC0000056);
using LastNtStatus = LONG(NTAPI*)();
// Bound when the module starts, so that no lookup is made under the loader lock.
const LastNtStatus lastNtStatus = vr::bind<LastNtStatus>(GetModuleHandleW(L"ntdll.dll"), "RtlGetLastNtStatus");

// The error of the open just refused, asked at once, before another call
// changes the status beneath it.
DWORD openError()
{
    const DWORD error = GetLastError();
    if (error == ERROR_ACCESS_DENIED && lastNtStatus != nullptr && lastNtStatus() == kStatusDeletePending)
        return ERROR_DELETE_PENDING;
    return error;
}

// Another program has the log open (or it is deleted and lingers while one
// has): the log will take lines again once that program lets go.
bool heldByAnotherWriter(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_DELETE_PENDING;
}
bool diskFull(DWORD error) { return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL; }

// The reparse point itself is opened, never what it points to, so that the
// check of the handle below sees it.
vr::UniqueHandle openLog(const wchar_t* path, DWORD access, DWORD disposition)
{
    return vr::adoptFileHandle(logOpen.load()(path, access, FILE_SHARE_READ, disposition,
                                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT));
}

// Opens the log to append (made when missing, never emptied), trying again
// while another writer holds it until the deadline, set on the first refusal;
// once only when the log was found held before.
vr::UniqueHandle openToAppend(const wchar_t* path, bool tryOnce, ULONGLONG& deadline, DWORD& error)
{
    for (unsigned attempt = 0;; ++attempt) {
        vr::UniqueHandle file = openLog(path, kAppendAccess, OPEN_ALWAYS);
        if (file)
            return file;
        error = openError();
        if (!heldByAnotherWriter(error) || tryOnce)
            return {};
        const ULONGLONG now = GetTickCount64();
        if (deadline == 0)
            deadline = now + kRetryMilliseconds;
        else if (now >= deadline)
            return {};
        backOff(attempt);
    }
}

// A log that is also another file's name (a hard link someone made while the
// name was free, a symbolic link or junction put in its place) is never
// written: the writer would append to whatever file it leads to. Other
// reparse points (a cloud placeholder, a deduplicated file) are logs like any
// other, and what cannot be asked counts as no second name.
bool hasSecondName(HANDLE file)
{
    // Two cheap looks rather than GetFileInformationByHandle, which also asks
    // for the volume's serial number. The link count needs no right at all.
    FILE_STANDARD_INFO standard{};
    if (GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard) && standard.NumberOfLinks > 1)
        return true;
    FILE_ATTRIBUTE_TAG_INFO tag{};
    return GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag) &&
           (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && IsReparseTagNameSurrogate(tag.ReparseTag);
}

void settle(PendingLine* from, const PendingLine* to, Appended appended)
{
    for (PendingLine* line = from; line != to; line = line->next)
        line->appended = appended;
}

void countLost(LogBacklog* backlog, LossCause cause)
{
    if (backlog == nullptr)
        return;
    ++backlog->lost;
    backlog->cause = cause;
}

// Nothing goes through a handle whose file has another name too: its lines
// are lost, and counted.
bool refusedForSecondName(HANDLE file, PendingLine* lines, LogBacklog* backlog)
{
    if (!hasSecondName(file))
        return false;
    for (PendingLine* line = lines; line != nullptr; line = line->next)
        countLost(backlog, LossCause::SecondName);
    settle(lines, nullptr, Appended::Lost);
    return true;
}

// Keeps the lines from `from` on, in their order, for the next batch that
// gets in; what does not fit is counted as lost.
void keep(LogBacklog* backlog, PendingLine* from, LossCause cause)
{
    if (backlog != nullptr && backlog->kept == nullptr)
        backlog->kept = static_cast<char*>(std::malloc(kKeptBytes));
    for (PendingLine* line = from; line != nullptr; line = line->next) {
        if (backlog == nullptr || backlog->kept == nullptr || line->length > kKeptBytes - backlog->keptBytes) {
            countLost(backlog, cause);
            line->appended = Appended::Lost;
            continue;
        }
        std::memcpy(backlog->kept + backlog->keptBytes, line->text, line->length);
        backlog->keptBytes += line->length;
        line->appended = Appended::Kept;
    }
}

LossCause causeOf(DWORD error)
{
    if (heldByAnotherWriter(error))
        return LossCause::Held;
    return diskFull(error) ? LossCause::DiskFull : LossCause::WriteFailed;
}

LONGLONG sizeOf(HANDLE file)
{
    LARGE_INTEGER size{};
    return SetFilePointerEx(file, LARGE_INTEGER{}, &size, FILE_END) ? size.QuadPart : -1;
}

// An open log and where it ends: each write goes whole or is cut back. Where
// the cut is refused (another process has the file mapped, a scanner holds a
// section, a network share dropped), the piece stays: it counts as a lost
// line, and the backlog remembers where the log then ended, so that the next
// batch ends the piece with a line end before anything else.
class OpenLog {
public:
    OpenLog(vr::UniqueHandle file, LONGLONG size, LogBacklog* backlog)
        : file_(std::move(file)), end_(size), backlog_(backlog)
    {}
    HANDLE handle() const { return file_.get(); }

    // Writes the bytes whole; a write that comes up short is cut back to the
    // end before it, so the log still ends on a whole line. The cause of a
    // failure is the write's error.
    bool writeWhole(const char* bytes, std::size_t size, LossCause& cause)
    {
        DWORD written = 0;
        const BOOL wrote = logWrite.load()(file_.get(), bytes, static_cast<DWORD>(size), &written);
        if (wrote && written == size) {
            end_ += static_cast<LONGLONG>(size);
            return true;
        }
        // A write that reports success with fewer bytes ran out of room.
        cause = wrote ? LossCause::DiskFull : causeOf(GetLastError());
        LARGE_INTEGER end{};
        end.QuadPart = end_;
        if ((!SetFilePointerEx(file_.get(), end, nullptr, FILE_BEGIN) || !logCut.load()(file_.get())) &&
            backlog_ != nullptr) {
            countLost(backlog_, cause);
            backlog_->torn = true;
            backlog_->tornAt = sizeOf(file_.get());
        }
        return false;
    }

    // Ends the piece an earlier batch left torn, while the log still ends
    // with it: once another writer has appended or moved the log, the piece
    // is no longer last.
    bool endTornPiece(LossCause& cause)
    {
        if (backlog_ == nullptr || !backlog_->torn)
            return true;
        const bool last = backlog_->tornAt < 0 ? end_ > 0 : end_ == backlog_->tornAt;
        if (last && !writeWhole("\r\n", 2, cause))
            return false;
        backlog_->torn = false;
        return true;
    }

private:
    vr::UniqueHandle file_;
    LONGLONG end_;
    LogBacklog* backlog_;
};

// Writes the lines in their order, gathered in the buffer so that a batch
// takes as few writes as it can; a line longer than the buffer goes alone.
// From a write that fails on, the lines are kept or counted.
void writeLines(OpenLog& log, PendingLine* lines, char* buffer, std::size_t capacity, LogBacklog* backlog)
{
    PendingLine* chunk = lines;
    std::size_t used = 0;
    LossCause cause{};
    const auto flush = [&](const char* bytes, std::size_t size, PendingLine* from, PendingLine* to) {
        if (log.writeWhole(bytes, size, cause)) {
            settle(from, to, Appended::Done);
            return true;
        }
        keep(backlog, from, cause);
        return false;
    };
    for (PendingLine* line = lines; line != nullptr; line = line->next) {
        if (used > 0 && used + line->length > capacity) {
            if (!flush(buffer, used, chunk, line))
                return;
            chunk = line;
            used = 0;
        }
        if (buffer == nullptr || line->length > capacity) {
            if (!flush(line->text, line->length, line, line->next))
                return;
            chunk = line->next;
            continue;
        }
        std::memcpy(buffer + used, line->text, line->length);
        used += line->length;
    }
    if (used > 0)
        flush(buffer, used, chunk, nullptr);
}

// Writes what the backlog holds ahead of a batch: the kept lines, which are
// older than any line lost after them, then the gap line, stamped now, where
// the lost lines would have stood. False when a write failed; the backlog
// then still holds what was not written.
bool writeBacklog(OpenLog& log, LogBacklog& backlog, const BatchStamp& stamp, LossCause& cause)
{
    if (backlog.keptBytes > 0) {
        if (!log.writeWhole(backlog.kept, backlog.keptBytes, cause))
            return false;
        backlog.keptBytes = 0;
    }
    if (backlog.lost > 0) {
        char timestamp[32], line[512];
        const std::size_t length = formatGapLine(line, sizeof line,
                                                 {stamp.moduleTag, stamp.timestamp(timestamp), stamp.processColumn,
                                                  __FILE__, __LINE__, backlog.lost, backlog.cause});
        if (length > 0 && !log.writeWhole(line, length, cause))
            return false;
        backlog.lost = 0;
    }
    return true;
}

// Whether the last open found the log held, for the backlog or, without one,
// in the flag the caller keeps for the log.
bool foundHeld(const LogBacklog* backlog, const std::atomic<bool>* heldBare)
{
    if (backlog != nullptr)
        return backlog->held;
    return heldBare != nullptr && heldBare->load(std::memory_order_relaxed);
}

void noteHeld(LogBacklog* backlog, std::atomic<bool>* heldBare, bool held)
{
    if (backlog != nullptr)
        backlog->held = held;
    else if (heldBare != nullptr)
        heldBare->store(held, std::memory_order_relaxed);
}

}  // namespace

namespace vr::trace {

void setLogWrite(LogWrite write) noexcept { logWrite = write != nullptr ? write : writeFile; }
void setLogOpen(LogOpen open) noexcept { logOpen = open != nullptr ? open : createFile; }
void setLogCut(LogCut cut) noexcept { logCut = cut != nullptr ? cut : setEndOfFile; }
void setRotationRace(RotationRace race) noexcept { rotationRace = race != nullptr ? race : noRace; }

void appendLines(const wchar_t* path, PendingLine* lines, char* buffer, std::size_t capacity, LogBacklog* backlog,
                 std::atomic<bool>* heldBare, const BatchStamp& stamp)
{
    ULONGLONG deadline = 0;
    DWORD error = 0;
    UniqueHandle file = openToAppend(path, foundHeld(backlog, heldBare), deadline, error);
    if (!file) {
        if (!heldByAnotherWriter(error) && !diskFull(error))
            // A log that can never be written (no folder, no access) keeps nothing.
            return settle(lines, nullptr, error == ERROR_PATH_NOT_FOUND ? Appended::NoFolder : Appended::Lost);
        noteHeld(backlog, heldBare, heldByAnotherWriter(error));
        return keep(backlog, lines, causeOf(error));
    }
    noteHeld(backlog, heldBare, false);
    if (refusedForSecondName(file.get(), lines, backlog))
        return;
    // The size before the append decides the rotation, on all 64 bits.
    LONGLONG size = sizeOf(file.get());
    if (size < 0)
        return keep(backlog, lines, LossCause::WriteFailed);  // never written over the start of the log
    bool rotate = false;
    if (backlog != nullptr && backlog->rotation.due(size)) {
        // A reader that does not share deleting refuses the reopen: the lines
        // are then appended without rotating, and a later append rotates. A
        // writer refused the right itself (a user, in the server log folder,
        // before a log somebody else made) puts the move off.
        file.reset();
        rotationRace.load()(path);
        file = openLog(path, kAppendAccess | DELETE, OPEN_EXISTING);
        rotate = static_cast<bool>(file);
        if (!file && openError() == ERROR_ACCESS_DENIED)
            backlog->rotation.putOff(size);
        if (!file)
            file = openToAppend(path, false, deadline, error);
        if (!file)
            return keep(backlog, lines, causeOf(error));
        if (refusedForSecondName(file.get(), lines, backlog))
            return;
        size = sizeOf(file.get());
        if (size < 0)
            return keep(backlog, lines, LossCause::WriteFailed);
        rotate = rotate && backlog->rotation.due(size);
    }
    OpenLog log(std::move(file), size, backlog);
    LossCause cause{};
    if (!log.endTornPiece(cause) || (backlog != nullptr && !writeBacklog(log, *backlog, stamp, cause)))
        return keep(backlog, lines, cause);
    writeLines(log, lines, buffer, capacity, backlog);
    if (rotate)
        backlog->rotation.move(log.handle(), path, size);
}

}  // namespace vr::trace
