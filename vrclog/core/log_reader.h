// Streams a trace log into records: a header line and the lines without a
// header that follow it (the rest of a multi-line text). The file is read in
// large blocks into one buffer that is reused; a record's views stay valid
// until the next call of next(). No platform calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "log_line.h"

#include "platform/c_file.h"

namespace vr::vrclog {

struct LogRecord {
    // False for a structural error report (written without a header; it takes
    // the time of the record before it) and for lines found before any record.
    bool hasHeader = false;
    LineHeader header;  // lineClass is Error for error reports, Plain for stray lines
    std::string_view raw;  // every byte of the record as in the file, line ends included
    uint64_t fileOffset = 0;  // where raw starts in its file
    uint32_t fileIndex = 0;  // the log's place on the command line

    // The message from after the class column to the end of the record, with
    // the later lines of a multi-line text, without the final line end.
    std::string_view fullText() const noexcept;
};

// Where the bytes come from: a file, or memory in tests.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Fills up to capacity bytes; 0 at the end. failed() tells an error from the end.
    virtual std::size_t read(char* destination, std::size_t capacity) noexcept = 0;
    virtual bool failed() const noexcept = 0;
    virtual int errorNumber() const noexcept { return 0; }
};

class FileSource final : public ByteSource {
public:
    explicit FileSource(UniqueCFile file) noexcept : file_(std::move(file)) {}
    std::size_t read(char* destination, std::size_t capacity) noexcept override;
    bool failed() const noexcept override { return errorNumber_ != 0; }
    int errorNumber() const noexcept override { return errorNumber_; }

private:
    UniqueCFile file_;
    int errorNumber_ = 0;
};

class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::string_view bytes) noexcept : bytes_(bytes) {}
    std::size_t read(char* destination, std::size_t capacity) noexcept override;
    bool failed() const noexcept override { return false; }

private:
    std::string_view bytes_;
};

// Opens a file for binary reading or writing by its UTF-8 name; null with
// errno set when it cannot be opened. A log is opened for reading without
// denying anything to its writers: they keep appending and rotating it while
// it is read. Defined by the console program's file layer (log_files.cpp).
UniqueCFile openFile(const std::string& utf8Path, bool forWriting) noexcept;

struct ReaderLimits {
    std::size_t readBlockBytes = std::size_t{1} << 20;
    // A record larger than this (no real log has one: a trace line is at most
    // 96,000 characters) is cut; its further lines are skipped and counted.
    std::size_t maxRecordBytes = std::size_t{16} << 20;
};

class LogReader {
public:
    LogReader(std::unique_ptr<ByteSource> source, uint32_t fileIndex, ReaderLimits limits = {});

    // The next record, or false at the end of the log or on a read error.
    bool next(LogRecord& record);

    // After next() gave false: the source has more bytes now (a log being
    // followed); next() reads on from where it stopped.
    void resume() noexcept { atEnd_ = false; }

    bool failed() const noexcept { return source_->failed(); }
    int errorNumber() const noexcept { return source_->errorNumber(); }
    // Lines that could not be read as part of a record: kept with the record
    // before them (or, at the start of a log, as a record of their own).
    uint64_t unparsedLines() const noexcept { return unparsedLines_; }
    // Lines dropped from records over the size limit.
    uint64_t skippedLines() const noexcept { return skippedLines_; }
    // The log ended in a line without its line end that starts like a
    // header: a record its writer was still writing. It was left out rather
    // than taken for the rest of the record before it.
    bool endsInHalfALine() const noexcept { return endsInHalfALine_; }

private:
    struct Line {
        std::size_t start = 0;  // in buffer_
        std::size_t end = 0;  // after its line end
        ParsedLine parsed;
    };
    enum class ReadResult { Line, End, Overlong };
    enum class FillResult { Read, Full };
    ReadResult readLine(Line& line);
    FillResult fill();
    void dropLongLine();
    std::string_view bytes(std::size_t start, std::size_t end) const noexcept;

    std::unique_ptr<ByteSource> source_;
    uint32_t fileIndex_;
    ReaderLimits limits_;
    std::size_t maxCapacity_;
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_ = 0;
    std::size_t recordStart_ = 0;  // bytes before it may be dropped when the buffer is refilled
    std::size_t position_ = 0;  // next byte not yet split into a line
    std::size_t end_ = 0;  // end of the bytes read
    uint64_t bufferOffset_ = 0;  // file offset of buffer_[0]
    bool atEnd_ = false;
    bool moved_ = false;  // the buffer's bytes moved since next() began
    Line first_;  // the first line of the record being read
    Line pending_;  // a line read past the end of the record before
    bool hasPending_ = false;
    bool skipContinuations_ = false;
    char lastTime_[kTimeLength] = {};
    bool hasLastTime_ = false;
    uint64_t unparsedLines_ = 0;
    uint64_t skippedLines_ = 0;
    bool endsInHalfALine_ = false;
};

// Whether the bytes of a line without its line end begin as a header does:
// a module tag, the blanks after it, and as much of the time as they hold.
bool startsLikeHeader(std::string_view partialLine) noexcept;

}  // namespace vr::vrclog
