// Appending lines to a log file and moving a log past its size limit to its
// backup. The writer opens the log for every batch of lines and shares only
// reading: a reader costs it nothing, while no other writer's bytes can come
// between a line's own. An open refused because another writer holds the log
// is tried again for about a second before the lines are lost.
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <iterator>

#include "platform/handles.h"
#include "trace/tracer_internal.h"

namespace {

using namespace vr::trace;

constexpr DWORD kAppendAccess = GENERIC_READ | GENERIC_WRITE;
constexpr ULONGLONG kRetryMilliseconds = 1000;
// The pause before each further try of a refused open: a yield first (the
// other writer is usually about to close), then sleeps growing to a few ms.
constexpr DWORD kBackOff[] = {0, 1, 1, 1, 2, 2, 2, 3, 3, 4};

void backOff(unsigned attempt)
{
    const DWORD pause = kBackOff[attempt < std::size(kBackOff) ? attempt : std::size(kBackOff) - 1];
    if (pause == 0)
        SwitchToThread();
    else
        Sleep(pause);
}

bool heldByAnotherWriter(DWORD error) { return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION; }

// Opens the log to append (made when missing, never emptied), trying again
// while another writer holds it until the deadline, set on the first refusal.
vr::UniqueHandle openToAppend(const wchar_t* path, ULONGLONG& deadline, DWORD& error)
{
    for (unsigned attempt = 0;; ++attempt) {
        vr::UniqueHandle file = vr::adoptFileHandle(
            CreateFileW(path, kAppendAccess, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file)
            return file;
        error = GetLastError();
        if (!heldByAnotherWriter(error))
            return {};
        const ULONGLONG now = GetTickCount64();
        if (deadline == 0)
            deadline = now + kRetryMilliseconds;
        else if (now >= deadline)
            return {};
        backOff(attempt);
    }
}

// Renames the log held by `file` to its backup name, the path with its last
// three characters replaced by "BAK", replacing an older backup in the same
// step: when the rename fails, the older backup stays.
void renameToBackup(HANDLE file, const wchar_t* path)
{
    const std::size_t length = std::wcslen(path);
    if (length < 3)
        return;
    const std::size_t bytes = offsetof(FILE_RENAME_INFO, FileName) + (length + 1) * sizeof(wchar_t);
    const vr::UniqueHeapBlock<FILE_RENAME_INFO> info(static_cast<FILE_RENAME_INFO*>(std::calloc(1, bytes)));
    if (!info)
        return;  // a later append rotates
    info->ReplaceIfExists = TRUE;
    info->FileNameLength = static_cast<DWORD>(length * sizeof(wchar_t));
    std::wmemcpy(info->FileName, path, length - 3);
    std::wmemcpy(info->FileName + length - 3, L"BAK", 4);
    SetFileInformationByHandle(file, FileRenameInfo, info.get(), static_cast<DWORD>(bytes));
}

// Writes the batch's bytes from `from` up to `to` and records the outcome for
// each of those lines.
void writeChunk(HANDLE file, const char* bytes, DWORD size, PendingLine* from, const PendingLine* to)
{
    DWORD written = 0;
    const bool done = WriteFile(file, bytes, size, &written, nullptr) && written == size;
    for (PendingLine* line = from; line != to; line = line->next)
        line->appended = done ? Appended::Done : Appended::Lost;
}

// Writes the lines in their order, gathered in the buffer so that a batch
// takes as few writes as it can; a line longer than the buffer goes alone.
void writeLines(HANDLE file, PendingLine* lines, char* buffer, std::size_t capacity)
{
    PendingLine* chunk = lines;
    std::size_t used = 0;
    for (PendingLine* line = lines; line != nullptr; line = line->next) {
        if (used > 0 && used + line->length > capacity) {
            writeChunk(file, buffer, static_cast<DWORD>(used), chunk, line);
            chunk = line;
            used = 0;
        }
        if (buffer == nullptr || line->length > capacity) {
            writeChunk(file, line->text, line->length, line, line->next);
            chunk = line->next;
            continue;
        }
        std::memcpy(buffer + used, line->text, line->length);
        used += line->length;
    }
    if (used > 0)
        writeChunk(file, buffer, static_cast<DWORD>(used), chunk, nullptr);
}

Appended openFailure(DWORD error) { return error == ERROR_PATH_NOT_FOUND ? Appended::NoFolder : Appended::Lost; }

void settle(PendingLine* lines, Appended appended)
{
    for (PendingLine* line = lines; line != nullptr; line = line->next)
        line->appended = appended;
}

}  // namespace

namespace vr::trace {

void appendLines(const wchar_t* path, PendingLine* lines, char* buffer, std::size_t capacity, bool mayRotate)
{
    ULONGLONG deadline = 0;
    DWORD error = 0;
    UniqueHandle file = openToAppend(path, deadline, error);
    if (!file)
        return settle(lines, openFailure(error));
    // The size before the append decides the rotation, on all 64 bits.
    LARGE_INTEGER size{};
    if (!SetFilePointerEx(file.get(), LARGE_INTEGER{}, &size, FILE_END))
        return settle(lines, Appended::Lost);  // never written over the start of the log
    bool rotate = false;
    if (mayRotate && size.QuadPart > kLogRotationSize) {
        // Only the writer that holds the log decides and moves it: reopened
        // with the right to rename it, its size is measured again under that
        // handle, so that no other writer can have moved it in between. A
        // reader that does not share deleting refuses that open: the lines
        // are then appended without rotating, and a later append rotates.
        file.reset();
        file = adoptFileHandle(CreateFileW(path, kAppendAccess | DELETE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
        rotate = static_cast<bool>(file);
        if (!file)
            file = openToAppend(path, deadline, error);
        if (!file)
            return settle(lines, openFailure(error));
        if (!SetFilePointerEx(file.get(), LARGE_INTEGER{}, &size, FILE_END))
            return settle(lines, Appended::Lost);
        rotate = rotate && size.QuadPart > kLogRotationSize;
    }
    writeLines(file.get(), lines, buffer, capacity);
    if (rotate)
        renameToBackup(file.get(), path);
}

}  // namespace vr::trace
