// Appending a line to a log file and moving a log past its size limit to its
// backup. The file is opened, written and closed for every line, without
// sharing, so that no other writer's bytes can come between a line's own.
#include <cstring>
#include <cwchar>

#include "platform/handles.h"
#include "trace/tracer_internal.h"

namespace {

using namespace vr::trace;

vr::UniqueHandle openExisting(const wchar_t* path)
{
    return vr::adoptFileHandle(
        CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_RANDOM_ACCESS, nullptr));
}

// Moves the log to its backup name, the path with its last three characters
// replaced by "BAK", in one step: when the move fails, the older backup stays.
void rotate(const wchar_t* path)
{
    const std::size_t length = std::wcslen(path);
    if (length < 3 || length >= kLogPathChars)
        return;  // no backup name fits its buffer: the log keeps growing
    wchar_t backup[kLogPathChars];
    std::wmemcpy(backup, path, length + 1);
    std::wmemcpy(backup + length - 3, L"BAK", 3);
    MoveFileExW(path, backup, MOVEFILE_REPLACE_EXISTING);
}

}  // namespace

namespace vr::trace {

Appended appendToFile(const wchar_t* path, const char* text)
{
    const DWORD length = static_cast<DWORD>(std::strlen(text));
    DWORD written = 0;
    UniqueHandle file = openExisting(path);
    if (!file) {
        const DWORD error = GetLastError();
        if (error == ERROR_PATH_NOT_FOUND)
            return Appended::NoFolder;
        if (error != ERROR_FILE_NOT_FOUND)
            return Appended::Lost;  // held open by another writer, or no access
        // Made only if it is still missing: a log another writer has just
        // made is appended to, never emptied.
        UniqueHandle created = adoptFileHandle(
            CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (created)
            return WriteFile(created.get(), text, length, &written, nullptr) ? Appended::Done : Appended::Lost;
        if (GetLastError() != ERROR_FILE_EXISTS)
            return GetLastError() == ERROR_PATH_NOT_FOUND ? Appended::NoFolder : Appended::Lost;
        file = openExisting(path);
        if (!file)
            return Appended::Lost;
    }
    // The size before the append decides the rotation, on all 64 bits.
    LARGE_INTEGER previousSize{};
    if (!SetFilePointerEx(file.get(), LARGE_INTEGER{}, &previousSize, FILE_END))
        return Appended::Lost;  // never written over the start of the log
    const bool done = WriteFile(file.get(), text, length, &written, nullptr) != 0;
    file.reset();
    if (previousSize.QuadPart > kLogRotationSize)
        rotate(path);
    return done ? Appended::Done : Appended::Lost;
}

}  // namespace vr::trace
