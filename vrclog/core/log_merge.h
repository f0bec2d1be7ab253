// Several logs read as one stream in time order. Each log is taken in its own
// order (held lines can carry an earlier time than lines written before them,
// and stay where the writer put them); between logs the record with the
// earlier time goes first, and equal times keep the order the logs were given
// in. No platform calls.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "log_reader.h"

namespace vr::vrclog {

class LogMerge {
public:
    // Opens every log; false with the failing name and errno text in error.
    bool open(const std::vector<std::string>& paths, std::string& error, ReaderLimits limits = {});
    // Takes logs already open (tests); their index is their place in readers.
    void adopt(std::vector<std::unique_ptr<LogReader>> readers);

    // The next record of the stream; false at the end or on a read error.
    // The record's views stay valid until the next call.
    bool next(LogRecord& record);

    // After next() gave false: the name and reason of a log that failed.
    bool failed(std::string& error) const;
    uint64_t unparsedLines() const noexcept;
    uint64_t skippedLines() const noexcept;
    // The logs, by the names they were opened by, whose last line was left
    // out as one still being written.
    std::vector<std::string> logsEndingInHalfALine() const;

private:
    struct Head {
        std::unique_ptr<LogReader> reader;
        LogRecord record;
        bool live = false;
    };
    void advance(Head& head);

    std::vector<std::string> paths_;
    std::vector<Head> heads_;
    Head* lastGiven_ = nullptr;
    bool started_ = false;
};

}  // namespace vr::vrclog
