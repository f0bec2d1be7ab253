// How a log is rotated. An append that finds the log past 100,000,000 bytes
// moves it to its backup, the log's name with "BAK" for its last three
// characters, replacing an older backup in the same step; the next append
// starts a new log. Only the writer holding the log moves it, through the
// handle it appends with, reopened with the right to rename it and measured
// again under that handle (another writer may have moved it in between). A
// move that cannot be made (someone has the backup open, or this writer may
// not rename the log) is put off until the log has grown by another
// 1,000,000 bytes or a minute has passed; the appends go on meanwhile.
#pragma once

#include <windows.h>

#include <cstdint>

namespace vr::trace {

class LogRotation {
public:
    static constexpr int64_t kRotationSize = 100000000;
    static constexpr LONGLONG kRetryBytes = 1000000;
    static constexpr ULONGLONG kRetryMilliseconds = 60000;

    // Whether an append to a log of this size moves it.
    bool due(LONGLONG size) const noexcept;
    // The move could not be made: the next waits for the size or the time.
    void putOff(LONGLONG size) noexcept;
    // Moves the log open as `file` (with DELETE access) to its backup; on
    // success the next move is due at the size limit again, else it is put off.
    void move(HANDLE file, const wchar_t* path, LONGLONG size) noexcept;
    bool putOff() const noexcept { return putOff_; }

private:
    bool putOff_ = false;
    LONGLONG retryAtSize_ = 0;
    ULONGLONG retryAtTick_ = 0;
};

}  // namespace vr::trace
