// Appending lines to a log file and moving a log past its size limit to its
// backup. The writer opens the log for every batch of lines, asks only for
// the rights an append needs and shares only reading: a reader costs it
// nothing, while no other writer's bytes can come between a line's own. An
// open refused because another writer holds the log is tried again for about
// a second; after a second in vain, later batches try once until one gets in.
// Lines that cannot be written now are kept for the next batch that gets in,
// and a write that comes up short is cut back, so the log always ends on a
// whole line; the first batch after lines were lost says how many.
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <utility>

#include "platform/handles.h"
#include "trace/tracer_internal.h"
#include "vrc_trace.h"

namespace {

using namespace vr::trace;

// Reading is asked for since the size is read through the handle; no right
// to change the file's attributes, which the server log folder gives nobody.
constexpr DWORD kAppendAccess =
    FILE_READ_DATA | FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
constexpr ULONGLONG kRetryMilliseconds = 1000;
// The pause before each further try of a refused open: a yield first (the
// other writer is usually about to close), then sleeps growing to a few ms.
constexpr DWORD kBackOff[] = {0, 1, 1, 1, 2, 2, 2, 3, 3, 4};
// After a rename to the backup failed (someone has the backup open), the
// next try waits until the log has grown by this much or this long has passed.
constexpr LONGLONG kRenameRetryBytes = 1000000;
constexpr ULONGLONG kRenameRetryMilliseconds = 60000;

BOOL writeFile(HANDLE file, const void* bytes, DWORD size, DWORD* written)
{
    return WriteFile(file, bytes, size, written, nullptr);
}
HANDLE createFile(const wchar_t* path, DWORD access, DWORD share, DWORD disposition, DWORD flags)
{
    return CreateFileW(path, access, share, nullptr, disposition, flags, nullptr);
}
void noRace(const wchar_t*) {}
std::atomic<LogWrite> logWrite{writeFile};
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

bool heldByAnotherWriter(DWORD error) { return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION; }
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
        error = GetLastError();
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
// name was free, a link or junction put in its place) is never written: the
// writer would append to whatever file it leads to.
bool hasSecondName(HANDLE file)
{
    // Two cheap looks rather than GetFileInformationByHandle, which also asks
    // for the volume's serial number.
    FILE_STANDARD_INFO standard{};
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard) ||
        !GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag))
        return true;
    return standard.NumberOfLinks > 1 || (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Renames the log held by `file` to its backup name, the path with its last
// three characters replaced by "BAK", replacing an older backup in the same
// step: when the rename fails, the older backup stays. A backup someone has
// open can only be replaced with POSIX semantics, where the platform has them.
bool renameToBackup(HANDLE file, const wchar_t* path)
{
    const std::size_t length = std::wcslen(path);
    if (length < 3)
        return false;
    const std::size_t bytes = offsetof(FILE_RENAME_INFO, FileName) + (length + 1) * sizeof(wchar_t);
    const vr::UniqueHeapBlock<FILE_RENAME_INFO> info(static_cast<FILE_RENAME_INFO*>(std::calloc(1, bytes)));
    if (!info)
        return false;
    info->FileNameLength = static_cast<DWORD>(length * sizeof(wchar_t));
    std::wmemcpy(info->FileName, path, length - 3);
    std::wmemcpy(info->FileName + length - 3, L"BAK", 4);
    // The flags share their place with ReplaceIfExists.
    constexpr DWORD kReplaceIfExists = 0x1, kPosixSemantics = 0x2;
    constexpr auto kRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);
    *reinterpret_cast<DWORD*>(info.get()) = kReplaceIfExists | kPosixSemantics;
    if (SetFileInformationByHandle(file, kRenameInfoEx, info.get(), static_cast<DWORD>(bytes)))
        return true;
    *reinterpret_cast<DWORD*>(info.get()) = 0;
    info->ReplaceIfExists = TRUE;
    return SetFileInformationByHandle(file, FileRenameInfo, info.get(), static_cast<DWORD>(bytes)) != FALSE;
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

// An open log and where it ends: each write goes whole or is cut back.
class OpenLog {
public:
    OpenLog(vr::UniqueHandle file, LONGLONG size) : file_(std::move(file)), end_(size) {}
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
        if (SetFilePointerEx(file_.get(), end, nullptr, FILE_BEGIN))
            SetEndOfFile(file_.get());
        return false;
    }

private:
    vr::UniqueHandle file_;
    LONGLONG end_;
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

// Writes what the backlog holds ahead of a batch: the gap line, then the kept
// lines. False when a write failed; the backlog then still holds what was not
// written.
bool writeBacklog(OpenLog& log, LogBacklog& backlog, LossCause& cause)
{
    if (backlog.lost > 0) {
        char timestamp[32], processColumn[128], line[512];
        DBG_Timestamp(timestamp);
        formatProcessColumn(processColumn, sizeof processColumn, executablePath(), GetCurrentProcessId(),
                            GetCurrentThreadId());
        const std::size_t length = formatGapLine(line, sizeof line,
                                                 {DbgModuleTag != nullptr ? DbgModuleTag : "", timestamp, processColumn,
                                                  __FILE__, __LINE__, backlog.lost, backlog.cause});
        if (length > 0 && !log.writeWhole(line, length, cause))
            return false;
        backlog.lost = 0;
    }
    if (backlog.keptBytes > 0) {
        if (!log.writeWhole(backlog.kept, backlog.keptBytes, cause))
            return false;
        backlog.keptBytes = 0;
    }
    return true;
}

// Whether an append to a log of this size moves it: past the limit, unless a
// rename failed and the log has not grown enough, nor time passed, since.
bool rotationDue(const LogBacklog& backlog, LONGLONG size)
{
    if (size <= kLogRotationSize)
        return false;
    return !backlog.renameFailed || size >= backlog.rotateAtSize || GetTickCount64() >= backlog.rotateAtTick;
}

LONGLONG sizeOf(HANDLE file)
{
    LARGE_INTEGER size{};
    return SetFilePointerEx(file, LARGE_INTEGER{}, &size, FILE_END) ? size.QuadPart : -1;
}

}  // namespace

namespace vr::trace {

void setLogWrite(LogWrite write) noexcept { logWrite = write != nullptr ? write : writeFile; }
void setLogOpen(LogOpen open) noexcept { logOpen = open != nullptr ? open : createFile; }
void setRotationRace(RotationRace race) noexcept { rotationRace = race != nullptr ? race : noRace; }

void appendLines(const wchar_t* path, PendingLine* lines, char* buffer, std::size_t capacity, LogBacklog* backlog)
{
    ULONGLONG deadline = 0;
    DWORD error = 0;
    UniqueHandle file = openToAppend(path, backlog != nullptr && backlog->held, deadline, error);
    if (!file) {
        if (!heldByAnotherWriter(error) && !diskFull(error))
            // A log that can never be written (no folder, no access) keeps nothing.
            return settle(lines, nullptr, error == ERROR_PATH_NOT_FOUND ? Appended::NoFolder : Appended::Lost);
        if (backlog != nullptr)
            backlog->held = heldByAnotherWriter(error);
        return keep(backlog, lines, causeOf(error));
    }
    if (backlog != nullptr)
        backlog->held = false;
    if (refusedForSecondName(file.get(), lines, backlog))
        return;
    // The size before the append decides the rotation, on all 64 bits.
    LONGLONG size = sizeOf(file.get());
    if (size < 0)
        return keep(backlog, lines, LossCause::WriteFailed);  // never written over the start of the log
    bool rotate = false;
    if (backlog != nullptr && rotationDue(*backlog, size)) {
        // Only the writer that holds the log decides and moves it: reopened
        // with the right to rename it, its size is measured again under that
        // handle, since another writer may have moved it in between. A reader
        // that does not share deleting refuses that open: the lines are then
        // appended without rotating, and a later append rotates.
        file.reset();
        rotationRace.load()(path);
        file = openLog(path, kAppendAccess | DELETE, OPEN_EXISTING);
        rotate = static_cast<bool>(file);
        if (!file)
            file = openToAppend(path, false, deadline, error);
        if (!file)
            return keep(backlog, lines, causeOf(error));
        if (refusedForSecondName(file.get(), lines, backlog))
            return;
        size = sizeOf(file.get());
        if (size < 0)
            return keep(backlog, lines, LossCause::WriteFailed);
        rotate = rotate && rotationDue(*backlog, size);
    }
    OpenLog log(std::move(file), size);
    LossCause cause{};
    if (backlog != nullptr && !writeBacklog(log, *backlog, cause))
        return keep(backlog, lines, cause);
    writeLines(log, lines, buffer, capacity, backlog);
    if (!rotate)
        return;
    backlog->renameFailed = !renameToBackup(log.handle(), path);
    if (backlog->renameFailed) {
        backlog->rotateAtSize = size + kRenameRetryBytes;
        backlog->rotateAtTick = GetTickCount64() + kRenameRetryMilliseconds;
    }
}

}  // namespace vr::trace
