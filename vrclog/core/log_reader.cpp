#include "log_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vr::vrclog {

std::string_view LogRecord::fullText() const noexcept
{
    const char* from = header.text.data();
    const char* rawEnd = raw.data() + raw.size();
    if (from == nullptr || from < raw.data() || from > rawEnd)
        return header.text;
    return withoutLineEnd(std::string_view(from, static_cast<std::size_t>(rawEnd - from)));
}

bool startsLikeHeader(std::string_view partial) noexcept
{
    const LineShape shape = parseLine(partial).shape;
    if (shape == LineShape::Header || shape == LineShape::BrokenHeader)
        return true;
    const std::size_t tagLength = partial.find(' ');
    if (tagLength == 0 || tagLength == std::string_view::npos || tagLength > kMaxModuleTag)
        return false;
    const std::size_t timeStart = std::max(tagLength, trace::kModuleTagWidth) + 1;
    for (std::size_t i = tagLength; i < std::min(partial.size(), timeStart); ++i)
        if (partial[i] != ' ')
            return false;
    constexpr std::string_view kTimePattern = "dddd-dd-dd dd:dd:dd.ddd ";
    for (std::size_t i = timeStart; i < partial.size() && i - timeStart < kTimePattern.size(); ++i) {
        const char wanted = kTimePattern[i - timeStart];
        if (wanted == 'd' ? partial[i] < '0' || partial[i] > '9' : partial[i] != wanted)
            return false;
    }
    return true;
}

std::size_t FileSource::read(char* destination, std::size_t capacity) noexcept
{
    if (file_ == nullptr || errorNumber_ != 0)
        return 0;
    const std::size_t n = std::fread(destination, 1, capacity, file_.get());
    if (n == 0 && std::ferror(file_.get()))
        errorNumber_ = errno != 0 ? errno : EIO;
    return n;
}

std::size_t MemorySource::read(char* destination, std::size_t capacity) noexcept
{
    const std::size_t n = std::min(capacity, bytes_.size());
    if (n > 0)
        std::memcpy(destination, bytes_.data(), n);
    bytes_.remove_prefix(n);
    return n;
}

LogReader::LogReader(std::unique_ptr<ByteSource> source, uint32_t fileIndex, ReaderLimits limits)
    : source_(std::move(source)), fileIndex_(fileIndex), limits_(limits)
{
    limits_.readBlockBytes = std::max<std::size_t>(limits_.readBlockBytes, 16);
    limits_.maxRecordBytes = std::max(limits_.maxRecordBytes, limits_.readBlockBytes);
    // Room for the largest record and one more block behind it.
    maxCapacity_ = limits_.maxRecordBytes + limits_.readBlockBytes;
    capacity_ = std::min(maxCapacity_, 2 * limits_.readBlockBytes);
    buffer_ = std::make_unique<char[]>(capacity_);
}

std::string_view LogReader::bytes(std::size_t start, std::size_t end) const noexcept
{
    return {buffer_.get() + start, end - start};
}

LogReader::FillResult LogReader::fill()
{
    if (recordStart_ > 0) {
        std::memmove(buffer_.get(), buffer_.get() + recordStart_, end_ - recordStart_);
        bufferOffset_ += recordStart_;
        position_ -= recordStart_;
        end_ -= recordStart_;
        if (hasPending_) {
            pending_.start -= recordStart_;
            pending_.end -= recordStart_;
        }
        recordStart_ = 0;
        moved_ = true;
    }
    if (end_ == capacity_) {
        if (capacity_ >= maxCapacity_)
            return FillResult::Full;
        const std::size_t grown = std::min(maxCapacity_, capacity_ * 2);
        auto bigger = std::make_unique<char[]>(grown);
        std::memcpy(bigger.get(), buffer_.get(), end_);
        buffer_ = std::move(bigger);
        capacity_ = grown;
        moved_ = true;
    }
    const std::size_t n = source_->read(buffer_.get() + end_, capacity_ - end_);
    if (n == 0)
        atEnd_ = true;
    end_ += n;
    return FillResult::Read;
}

// A line that fills the whole buffer alone is dropped up to its line end.
void LogReader::dropLongLine()
{
    ++skippedLines_;
    for (;;) {
        bufferOffset_ += end_;
        position_ = end_ = recordStart_ = 0;
        const std::size_t n = source_->read(buffer_.get(), capacity_);
        if (n == 0) {
            atEnd_ = true;
            return;
        }
        end_ = n;
        if (const void* lineEnd = std::memchr(buffer_.get(), '\n', n)) {
            position_ = recordStart_ = static_cast<std::size_t>(static_cast<const char*>(lineEnd) - buffer_.get()) + 1;
            return;
        }
    }
}

LogReader::ReadResult LogReader::readLine(Line& line)
{
    std::size_t searchFrom = position_;
    for (;;) {
        if (searchFrom < end_) {
            if (const void* found = std::memchr(buffer_.get() + searchFrom, '\n', end_ - searchFrom)) {
                line.start = position_;
                line.end = static_cast<std::size_t>(static_cast<const char*>(found) - buffer_.get()) + 1;
                position_ = line.end;
                line.parsed = parseLine(bytes(line.start, line.end));
                return ReadResult::Line;
            }
            searchFrom = end_;
        }
        if (atEnd_) {
            if (position_ == end_)
                return ReadResult::End;
            // A writer appends a whole record at once: a last line without its
            // line end that starts like a header is one still being written.
            if (startsLikeHeader(bytes(position_, end_))) {
                endsInHalfALine_ = true;
                position_ = end_;
                return ReadResult::End;
            }
            line.start = position_;
            line.end = end_;
            position_ = end_;
            line.parsed = parseLine(bytes(line.start, line.end));
            return ReadResult::Line;
        }
        const std::size_t searched = searchFrom - position_;
        if (fill() == FillResult::Full) {
            if (recordStart_ < position_)
                return ReadResult::Overlong;
            dropLongLine();
            searchFrom = position_;
            continue;
        }
        searchFrom = position_ + searched;
    }
}

bool LogReader::next(LogRecord& record)
{
    moved_ = false;
    // first_ and pending_ are members rather than locals: a line with its
    // parsed header is large, and clearing a new one for every line costs
    // more than reading most lines.
    Line& first = first_;
    for (;;) {
        if (hasPending_) {
            first = pending_;
            hasPending_ = false;
            recordStart_ = first.start;
        } else {
            recordStart_ = position_;
            if (readLine(first) != ReadResult::Line)
                return false;
            recordStart_ = first.start;
        }
        const LineShape shape = first.parsed.shape;
        if (skipContinuations_ && (shape == LineShape::Text || shape == LineShape::BrokenHeader)) {
            ++skippedLines_;
            continue;
        }
        skipContinuations_ = false;
        if (shape != LineShape::Blank)
            break;
    }
    // From here on positions are kept relative to the record's start, which
    // fill() may move to the front of the buffer.
    const std::size_t firstLength = first.end - first.start;
    std::size_t recordLength = firstLength;
    const LineShape firstShape = first.parsed.shape;
    const bool stray = firstShape == LineShape::Text || firstShape == LineShape::BrokenHeader;
    if (stray)
        ++unparsedLines_;
    bool blankSinceLastLine = false;
    for (;;) {
        Line& line = pending_;
        const ReadResult result = readLine(line);
        if (result == ReadResult::End)
            break;
        if (result == ReadResult::Overlong) {
            // The line does not fit beside the record: a further line of the
            // record is dropped; a header is read in the next call.
            skipContinuations_ = true;
            break;
        }
        const LineShape shape = line.parsed.shape;
        if (shape == LineShape::Header || shape == LineShape::DebugError) {
            hasPending_ = true;
            break;
        }
        if (shape == LineShape::Blank) {
            blankSinceLastLine = true;
            continue;
        }
        if (line.end - recordStart_ > limits_.maxRecordBytes) {
            ++skippedLines_;
            skipContinuations_ = true;
            break;
        }
        if (stray || blankSinceLastLine || shape == LineShape::BrokenHeader)
            ++unparsedLines_;
        blankSinceLastLine = false;
        recordLength = line.end - recordStart_;
    }

    const std::string_view firstLine = bytes(recordStart_, recordStart_ + firstLength);
    if (moved_)
        first.parsed = parseLine(firstLine);
    record.raw = bytes(recordStart_, recordStart_ + recordLength);
    record.fileOffset = bufferOffset_ + recordStart_;
    record.fileIndex = fileIndex_;
    record.hasHeader = firstShape == LineShape::Header;
    if (record.hasHeader) {
        record.header = first.parsed.header;
        std::memcpy(lastTime_, record.header.time.data(), kTimeLength);
        hasLastTime_ = true;
        return true;
    }
    record.header = LineHeader{};
    record.header.text = withoutLineEnd(firstLine);
    if (firstShape == LineShape::DebugError) {
        record.header.lineClass = LineClass::Error;
        if (hasLastTime_)
            record.header.time = std::string_view(lastTime_, kTimeLength);
    }
    return true;
}

}  // namespace vr::vrclog
