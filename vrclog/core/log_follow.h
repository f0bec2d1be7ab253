// vrclog lines --follow: the records appended to a live log, printed as they
// arrive, in the new log after each rotation. The file is reached through
// LiveLog, which the console program implements for its platform. No
// platform calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "log_filter.h"
#include "log_reader.h"
#include "text_sink.h"

namespace vr::vrclog {

// The log at a path as it grows, as the platform shows it.
class LiveLog {
public:
    virtual ~LiveLog() = default;
    // Opens the file that is at the path now, in place of the one open
    // before (if any); false with error() set, the one before still open.
    virtual bool open() noexcept = 0;
    virtual uint64_t size() noexcept = 0;  // of the open file
    // Of the file the path names now, without opening it for reading; 0
    // when there is none.
    virtual uint64_t sizeAtPath() noexcept = 0;
    virtual bool seek(uint64_t offset) noexcept = 0;
    // Up to capacity bytes from the open file; 0 at its current end, or on a
    // read error (failed() then tells).
    virtual std::size_t read(char* destination, std::size_t capacity) noexcept = 0;
    virtual bool failed() const noexcept = 0;
    virtual std::string error() const = 0;  // why open() or read() failed
    // True when the path names another file than the open one (the writer
    // moved the log to its backup and began a new one), or the file at the
    // path is shorter than what was read of it. A path without a file yet
    // is not a change: the writer makes the new log with its next line.
    virtual bool replaced(uint64_t bytesRead) noexcept = 0;
    // True when the open file was deleted while open and waits for its last
    // handle to go, as on Windows before 10 1809 and on file systems other
    // than NTFS: until then no writer can open it or make a new log at its
    // path.
    virtual bool deletePending() noexcept = 0;
    virtual void close() noexcept = 0;  // lets go of the open file
    // Sleeps until the next look at the file; false once the user interrupted.
    virtual bool wait() noexcept = 0;
};

// The console program's LiveLog for a path (UTF-8).
std::unique_ptr<LiveLog> openLiveLog(const std::string& utf8Path);

// Bytes of a growing log in, its whole records out. A read may end in the
// middle of a line, and a writer's records are whole in the file only once
// its write is done: a record is handed on once the next record's first line
// has arrived, or once the log has stayed quiet for a look. A line without
// its line end is never handed on before the file is finished.
class LiveRecords {
public:
    explicit LiveRecords(ReaderLimits limits = {});

    // Bytes from the log, in order.
    void append(std::string_view bytes);
    // The bytes up to the next line end are the rest of a line begun before
    // following started: they are dropped.
    void skipToNextLine() noexcept { skipping_ = true; }

    // Calls take(record) for each record now known to be whole: all before
    // the last record's first line; with settled, the last record too (its
    // whole lines); with finished, also a last line without its line end.
    template <typename Take>
    void release(bool settled, bool finished, Take&& take)
    {
        if (!handOver(settled, finished))
            return;
        LogRecord record;
        while (reader_.next(record))
            take(record);
    }

private:
    class Queue;
    bool handOver(bool settled, bool finished);

    ReaderLimits limits_;
    std::string pending_;  // bytes not yet handed to the reader
    std::size_t checkedTo_ = 0;  // in pending_: the whole lines before it were looked at
    std::size_t lastRecordStart_ = std::string::npos;  // in pending_: the last record's first line
    Queue* queue_;  // owned by reader_
    LogReader reader_;
    bool skipping_ = false;
};

// How often a followed log is looked at.
inline constexpr unsigned kFollowIntervalMs = 100;

class RecordPrinter;

// Prints the records of the log that match the filter as they are appended,
// from the log's current end, until log.wait() says the user interrupted;
// the output is flushed after each record. Gives the exit code: done, or
// cannot read (the log, or the output failed).
int followLines(LiveLog& log, const std::string& path, const LogFilter& filter, RecordPrinter& printer, TextSink& out,
                TextSink& errors);

}  // namespace vr::vrclog
