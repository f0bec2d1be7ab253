#include "log_merge.h"

#include <cerrno>
#include <cstring>

namespace vr::vrclog {

bool LogMerge::open(const std::vector<std::string>& paths, std::string& error, ReaderLimits limits)
{
    std::vector<std::unique_ptr<LogReader>> readers;
    for (const std::string& path : paths) {
        errno = 0;
        UniqueCFile file = openFile(path, false);
        if (!file) {
            error = "cannot read '" + path + "': " + std::strerror(errno != 0 ? errno : ENOENT);
            return false;
        }
        readers.push_back(std::make_unique<LogReader>(std::make_unique<FileSource>(std::move(file)),
                                                      static_cast<uint32_t>(readers.size()), limits));
    }
    adopt(std::move(readers));
    paths_ = paths;
    return true;
}

void LogMerge::adopt(std::vector<std::unique_ptr<LogReader>> readers)
{
    heads_.clear();
    paths_.clear();
    for (auto& reader : readers) {
        heads_.push_back(Head{std::move(reader), LogRecord{}, false});
        paths_.push_back("log " + std::to_string(heads_.size()));
    }
    lastGiven_ = nullptr;
    started_ = false;
}

void LogMerge::advance(Head& head) { head.live = head.reader->next(head.record); }

bool LogMerge::next(LogRecord& record)
{
    if (!started_) {
        for (Head& head : heads_)
            advance(head);
        started_ = true;
    } else if (lastGiven_ != nullptr) {
        // Only now: the record given last lives in its reader's buffer.
        advance(*lastGiven_);
    }
    lastGiven_ = nullptr;
    for (Head& head : heads_) {
        if (!head.live)
            continue;
        // Strictly earlier only, so that equal times keep the order of the logs.
        if (lastGiven_ == nullptr || head.record.header.time < lastGiven_->record.header.time)
            lastGiven_ = &head;
    }
    if (lastGiven_ == nullptr)
        return false;
    record = lastGiven_->record;
    return true;
}

bool LogMerge::failed(std::string& error) const
{
    for (std::size_t i = 0; i < heads_.size(); ++i) {
        if (heads_[i].reader->failed()) {
            error = "cannot read '" + paths_[i] + "': " + std::strerror(heads_[i].reader->errorNumber());
            return true;
        }
    }
    return false;
}

uint64_t LogMerge::unparsedLines() const noexcept
{
    uint64_t total = 0;
    for (const Head& head : heads_)
        total += head.reader->unparsedLines();
    return total;
}

uint64_t LogMerge::skippedLines() const noexcept
{
    uint64_t total = 0;
    for (const Head& head : heads_)
        total += head.reader->skippedLines();
    return total;
}

std::vector<std::string> LogMerge::logsEndingInHalfALine() const
{
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < heads_.size(); ++i)
        if (heads_[i].reader->endsInHalfALine())
            paths.push_back(i < paths_.size() ? paths_[i] : "log " + std::to_string(i + 1));
    return paths;
}

}  // namespace vr::vrclog
