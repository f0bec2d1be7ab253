#include "trace/log_rotation.h"

#include <cstddef>
#include <cstdlib>
#include <cwchar>

#include "platform/handles.h"

namespace vr::trace {

namespace {

// Renames the log held by `file` to its backup name, replacing an older
// backup in the same step: when the rename fails, the older backup stays. A
// backup someone has open can only be replaced with POSIX semantics, where
// the platform has them.
bool renameToBackup(HANDLE file, const wchar_t* path) noexcept
{
    const std::size_t length = std::wcslen(path);
    if (length < 3)
        return false;
    const std::size_t bytes = offsetof(FILE_RENAME_INFO, FileName) + (length + 1) * sizeof(wchar_t);
    const UniqueHeapBlock<FILE_RENAME_INFO> info(static_cast<FILE_RENAME_INFO*>(std::calloc(1, bytes)));
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

}  // namespace

bool LogRotation::due(LONGLONG size) const noexcept
{
    if (size <= kRotationSize)
        return false;
    return !putOff_ || size >= retryAtSize_ || GetTickCount64() >= retryAtTick_;
}

void LogRotation::putOff(LONGLONG size) noexcept
{
    putOff_ = true;
    retryAtSize_ = size + kRetryBytes;
    retryAtTick_ = GetTickCount64() + kRetryMilliseconds;
}

void LogRotation::move(HANDLE file, const wchar_t* path, LONGLONG size) noexcept
{
    if (renameToBackup(file, path))
        putOff_ = false;
    else
        putOff(size);
}

}  // namespace vr::trace
