// The logs as POSIX files, for the native build that runs the sanitizers and
// the fuzzer: opened for reading, and followed as they grow and are replaced.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "log_follow.h"
#include "log_reader.h"

#include <csignal>
#include <ctime>
#include <sys/stat.h>

namespace vr::vrclog {

namespace {

volatile std::sig_atomic_t interrupted = 0;

extern "C" void onInterrupt(int) { interrupted = 1; }

class PosixLiveLog final : public LiveLog {
public:
    explicit PosixLiveLog(std::string path) : path_(std::move(path))
    {
        interrupted = 0;
        struct sigaction action {};
        action.sa_handler = onInterrupt;
        sigaction(SIGINT, &action, &before_);
    }
    ~PosixLiveLog() override { sigaction(SIGINT, &before_, nullptr); }
    PosixLiveLog(const PosixLiveLog&) = delete;
    PosixLiveLog& operator=(const PosixLiveLog&) = delete;

    bool open() noexcept override
    {
        UniqueCFile file(std::fopen(path_.c_str(), "rb"));
        struct stat identity {};
        if (!file || fstat(fileno(file.get()), &identity) != 0) {
            error_ = errno != 0 ? errno : ENOENT;
            return false;
        }
        file_ = std::move(file);
        identity_ = identity;
        return true;
    }

    uint64_t size() noexcept override
    {
        struct stat now {};
        return fstat(fileno(file_.get()), &now) == 0 ? static_cast<uint64_t>(now.st_size) : 0;
    }

    uint64_t sizeAtPath() noexcept override
    {
        struct stat now {};
        return stat(path_.c_str(), &now) == 0 ? static_cast<uint64_t>(now.st_size) : 0;
    }

    bool seek(uint64_t offset) noexcept override
    {
        if (fseeko(file_.get(), static_cast<off_t>(offset), SEEK_SET) == 0)
            return true;
        error_ = errno;
        return false;
    }

    std::size_t read(char* destination, std::size_t capacity) noexcept override
    {
        // The end of a growing file is not for good.
        std::clearerr(file_.get());
        const std::size_t n = std::fread(destination, 1, capacity, file_.get());
        if (n == 0 && std::ferror(file_.get())) {
            error_ = errno != 0 ? errno : EIO;
            failed_ = true;
        }
        return n;
    }

    bool failed() const noexcept override { return failed_; }
    std::string error() const override { return std::strerror(error_); }

    bool replaced(uint64_t bytesRead) noexcept override
    {
        struct stat now {};
        if (stat(path_.c_str(), &now) != 0)
            return false;
        return now.st_dev != identity_.st_dev || now.st_ino != identity_.st_ino ||
               static_cast<uint64_t>(now.st_size) < bytesRead;
    }

    // Deleted files go at once here; one deleted while open has no name left.
    bool deletePending() noexcept override
    {
        struct stat own {};
        return fstat(fileno(file_.get()), &own) == 0 && own.st_nlink == 0;
    }

    void close() noexcept override { file_.reset(); }

    bool wait() noexcept override
    {
        const timespec interval{0, static_cast<long>(kFollowIntervalMs) * 1000000L};
        if (interrupted == 0)
            nanosleep(&interval, nullptr);
        return interrupted == 0;
    }

private:
    std::string path_;
    UniqueCFile file_;
    struct stat identity_ {};
    struct sigaction before_ {};
    int error_ = 0;
    bool failed_ = false;
};

}  // namespace

UniqueCFile openFile(const std::string& utf8Path, bool forWriting) noexcept
{
    return UniqueCFile(std::fopen(utf8Path.c_str(), forWriting ? "wb" : "rb"));
}

std::unique_ptr<LiveLog> openLiveLog(const std::string& utf8Path) { return std::make_unique<PosixLiveLog>(utf8Path); }

}  // namespace vr::vrclog
