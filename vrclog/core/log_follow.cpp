#include "log_follow.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "command_lines.h"

namespace vr::vrclog {

// The bytes handed to the reader and not yet read by it.
class LiveRecords::Queue final : public ByteSource {
public:
    void push(std::string_view bytes) { bytes_.append(bytes); }
    std::size_t read(char* destination, std::size_t capacity) noexcept override
    {
        const std::size_t n = std::min(capacity, bytes_.size() - at_);
        if (n > 0)
            std::memcpy(destination, bytes_.data() + at_, n);
        at_ += n;
        if (at_ == bytes_.size()) {
            bytes_.clear();
            at_ = 0;
        }
        return n;
    }
    bool failed() const noexcept override { return false; }

private:
    std::string bytes_;
    std::size_t at_ = 0;
};

LiveRecords::LiveRecords(ReaderLimits limits)
    : limits_(limits), queue_(new Queue), reader_(std::unique_ptr<ByteSource>(queue_), 0, limits)
{}

void LiveRecords::append(std::string_view bytes)
{
    if (skipping_) {
        const std::size_t lineEnd = bytes.find('\n');
        if (lineEnd == std::string_view::npos)
            return;
        bytes.remove_prefix(lineEnd + 1);
        skipping_ = false;
    }
    pending_.append(bytes);
}

bool LiveRecords::handOver(bool settled, bool finished)
{
    const std::size_t lastLineEnd = pending_.rfind('\n');
    const std::size_t wholeLines = lastLineEnd == std::string::npos ? 0 : lastLineEnd + 1;
    // Each whole line is looked at once, for the first line of a record.
    const std::string_view whole(pending_.data(), wholeLines);
    for (std::size_t start = checkedTo_; start < wholeLines;) {
        const std::size_t end = whole.find('\n', start) + 1;
        const LineShape shape = parseLine(whole.substr(start, end - start)).shape;
        if (shape == LineShape::Header || shape == LineShape::DebugError)
            lastRecordStart_ = start;
        start = end;
    }
    checkedTo_ = wholeLines;
    // Up to the first line of the last record: the lines after it may be the
    // rest of a write that has not reached the file yet.
    std::size_t cut = lastRecordStart_ == std::string::npos ? 0 : lastRecordStart_;
    if (finished)
        cut = pending_.size();
    else if (settled)
        cut = wholeLines;
    // A line this long is no trace line: the reader cuts it rather than
    // letting it fill memory.
    if (cut == 0 && pending_.size() > limits_.maxRecordBytes)
        cut = pending_.size();
    if (cut == 0)
        return false;
    queue_->push(std::string_view(pending_).substr(0, cut));
    pending_.erase(0, cut);
    checkedTo_ = cut <= checkedTo_ ? checkedTo_ - cut : 0;
    lastRecordStart_ =
        lastRecordStart_ != std::string::npos && lastRecordStart_ >= cut ? lastRecordStart_ - cut : std::string::npos;
    reader_.resume();
    return true;
}

int followLines(LiveLog& log, const std::string& path, const LogFilter& filter, RecordPrinter& printer, TextSink& out,
                TextSink& errors)
{
    const auto cannotRead = [&] {
        errors.write("vrclog: cannot read '" + path + "': " + log.error() + "\n");
        return kExitCannotRead;
    };
    // Like tail -f, from the current end, measured before the open: a line
    // appended once vrclog holds the log is never taken for an old one.
    const uint64_t endBeforeOpen = log.sizeAtPath();
    if (!log.open())
        return cannotRead();
    // The last byte is read again: when it is not a line end, a line is
    // being written and is dropped whole rather than shown from its middle.
    LiveRecords records;
    uint64_t bytesRead = std::min(endBeforeOpen, log.size());
    if (bytesRead > 0) {
        if (!log.seek(--bytesRead))
            return cannotRead();
        records.skipToNextLine();
    }
    // Each record goes out at once; a failed write stays failed for the
    // checks after each read.
    const auto print = [&](const LogRecord& record) {
        if (!filter.matches(record))
            return;
        printer.print(record, out);
        out.flush();
    };
    constexpr std::size_t kBlockBytes = std::size_t{64} << 10;
    std::vector<char> block(kBlockBytes);
    bool waitingForNewLog = false;
    for (;;) {
        if (waitingForNewLog) {
            // The new log may be gone again by now (moved on by a further
            // rotation before its first look): it is looked for again.
            if (log.open()) {
                waitingForNewLog = false;
                records = LiveRecords();
                bytesRead = 0;
            } else if (!log.wait()) {
                break;
            } else {
                continue;
            }
        }
        // Asked before reading: once the path names a new log, or the log is
        // deleted, the old one gets no more lines, so reading it to its end
        // then loses none.
        const bool replaced = log.deletePending() || log.replaced(bytesRead);
        bool quiet = true;
        for (std::size_t n; (n = log.read(block.data(), block.size())) > 0;) {
            quiet = false;
            bytesRead += n;
            records.append(std::string_view(block.data(), n));
            records.release(false, false, print);
            if (!out.flush())
                return kExitCannotRead;
        }
        if (log.failed())
            return cannotRead();
        records.release(quiet || replaced, replaced, print);
        if (!out.flush())
            return kExitCannotRead;
        if (replaced) {
            // Let go of it: a deleted log goes, and the writers can make the
            // new one, only once every handle on it is closed.
            log.close();
            waitingForNewLog = true;
        } else if (!log.wait())
            break;
    }
    // Interrupted: the whole lines read so far are shown.
    records.release(true, false, print);
    return out.flush() ? kExitDone : kExitCannotRead;
}

}  // namespace vr::vrclog
