// The logs as the product's files on Windows: opened for reading without
// denying their writers anything, and followed as they grow and rotate.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "log_follow.h"
#include "log_reader.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include "platform/handles.h"

namespace vr::vrclog {

namespace {

// A writer appends and renames the log to its backup while vrclog reads it:
// vrclog's handle must deny it neither.
constexpr DWORD kShareEverything = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The C runtime's narrow names are in the ANSI code page; the wide calls
// take any name.
std::wstring widePath(const std::string& utf8Path)
{
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8Path.data(),
                                           static_cast<int>(utf8Path.size()), nullptr, 0);
    if (length <= 0)
        return {};
    std::wstring path(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8Path.data(), static_cast<int>(utf8Path.size()), path.data(),
                        length);
    return path;
}

int errnoOf(DWORD error) noexcept
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EACCES;
    default:
        return EIO;
    }
}

// A writer that opens the log without sharing holds it for the moment of its
// append: an open that meets one is tried again, for up to about a second.
UniqueHandle openShared(const std::wstring& path, DWORD access) noexcept
{
    constexpr DWORD kGiveUpAfterMs = 1000;
    constexpr DWORD kLongestPauseMs = 8;
    DWORD pauseMs = 0;
    for (DWORD waitedMs = 0;; waitedMs += pauseMs) {
        UniqueHandle file = adoptFileHandle(CreateFileW(path.c_str(), access, kShareEverything, nullptr, OPEN_EXISTING,
                                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        const DWORD error = GetLastError();
        if (file || (error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) || waitedMs >= kGiveUpAfterMs) {
            SetLastError(error);
            return file;
        }
        Sleep(pauseMs);  // 0 at first: a yield
        pauseMs = std::min(pauseMs == 0 ? 1 : pauseMs * 2, kLongestPauseMs);
    }
}

bool sameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) noexcept
{
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

// Set by Ctrl+C or Ctrl+Break while a log is followed.
HANDLE stopEvent = nullptr;

BOOL WINAPI onConsoleControl(DWORD event) noexcept
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    SetEvent(stopEvent);
    return TRUE;
}

class WindowsLiveLog final : public LiveLog {
public:
    explicit WindowsLiveLog(std::wstring path) : path_(std::move(path))
    {
        stop_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        stopEvent = stop_.get();
        SetConsoleCtrlHandler(onConsoleControl, TRUE);
    }
    ~WindowsLiveLog() override
    {
        SetConsoleCtrlHandler(onConsoleControl, FALSE);
        stopEvent = nullptr;
    }
    WindowsLiveLog(const WindowsLiveLog&) = delete;
    WindowsLiveLog& operator=(const WindowsLiveLog&) = delete;

    bool open() noexcept override
    {
        UniqueHandle file = openShared(path_, GENERIC_READ);
        BY_HANDLE_FILE_INFORMATION identity{};
        if (!file || !GetFileInformationByHandle(file.get(), &identity)) {
            error_ = path_.empty() ? ERROR_INVALID_NAME : GetLastError();
            return false;
        }
        file_ = std::move(file);
        identity_ = identity;
        return true;
    }

    uint64_t size() noexcept override
    {
        LARGE_INTEGER size{};
        return GetFileSizeEx(file_.get(), &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
    }

    uint64_t sizeAtPath() noexcept override
    {
        WIN32_FILE_ATTRIBUTE_DATA now{};
        if (!GetFileAttributesExW(path_.c_str(), GetFileExInfoStandard, &now))
            return 0;
        return (static_cast<uint64_t>(now.nFileSizeHigh) << 32) | now.nFileSizeLow;
    }

    bool seek(uint64_t offset) noexcept override
    {
        LARGE_INTEGER to{};
        to.QuadPart = static_cast<LONGLONG>(offset);
        if (SetFilePointerEx(file_.get(), to, nullptr, FILE_BEGIN))
            return true;
        error_ = GetLastError();
        return false;
    }

    std::size_t read(char* destination, std::size_t capacity) noexcept override
    {
        DWORD read = 0;
        const DWORD asked = static_cast<DWORD>(std::min<std::size_t>(capacity, 1u << 30));
        if (ReadFile(file_.get(), destination, asked, &read, nullptr))
            return read;
        error_ = GetLastError();
        failed_ = true;
        return 0;
    }

    bool failed() const noexcept override { return failed_; }

    // In the words the other commands use for a log they cannot read.
    std::string error() const override { return std::strerror(errnoOf(error_)); }

    bool replaced(uint64_t bytesRead) noexcept override
    {
        // Attributes only: this open never stands in a writer's way.
        const UniqueHandle atPath = openShared(path_, FILE_READ_ATTRIBUTES);
        BY_HANDLE_FILE_INFORMATION now{};
        if (!atPath || !GetFileInformationByHandle(atPath.get(), &now))
            return false;
        const uint64_t size = (static_cast<uint64_t>(now.nFileSizeHigh) << 32) | now.nFileSizeLow;
        return !sameFile(now, identity_) || size < bytesRead;
    }

    bool deletePending() noexcept override
    {
        FILE_STANDARD_INFO standard{};
        return GetFileInformationByHandleEx(file_.get(), FileStandardInfo, &standard, sizeof standard) &&
               standard.DeletePending;
    }

    void close() noexcept override { file_.reset(); }

    bool wait() noexcept override { return WaitForSingleObject(stop_.get(), kFollowIntervalMs) == WAIT_TIMEOUT; }

private:
    std::wstring path_;
    UniqueHandle file_;
    UniqueHandle stop_;
    BY_HANDLE_FILE_INFORMATION identity_{};
    DWORD error_ = 0;
    bool failed_ = false;
};

}  // namespace

UniqueCFile openFile(const std::string& utf8Path, bool forWriting) noexcept
{
    std::wstring path;
    try {
        path = widePath(utf8Path);
    } catch (...) {
        errno = ENOMEM;
        return nullptr;
    }
    if (path.empty()) {
        errno = utf8Path.empty() ? ENOENT : EINVAL;
        return nullptr;
    }
    if (forWriting)
        return UniqueCFile(_wfopen(path.c_str(), L"wb"));
    UniqueHandle file = openShared(path, GENERIC_READ);
    if (!file) {
        errno = errnoOf(GetLastError());
        return nullptr;
    }
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file.get()), _O_RDONLY | _O_BINARY);
    if (descriptor == -1)
        return nullptr;
    file.release();  // the descriptor closes it
    std::FILE* stream = _fdopen(descriptor, "rb");
    if (stream == nullptr)
        _close(descriptor);
    return UniqueCFile(stream);
}

std::unique_ptr<LiveLog> openLiveLog(const std::string& utf8Path)
{
    return std::make_unique<WindowsLiveLog>(widePath(utf8Path));
}

}  // namespace vr::vrclog
