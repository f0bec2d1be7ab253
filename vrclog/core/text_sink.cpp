#include "text_sink.h"

namespace vr::vrclog {

FileSink::~FileSink() { flush(); }

void FileSink::write(std::string_view text)
{
    if (pending_.capacity() < kBlockBytes)
        pending_.reserve(kBlockBytes);
    if (pending_.size() + text.size() > kBlockBytes)
        flush();
    if (text.size() >= kBlockBytes) {
        failed_ = failed_ || std::fwrite(text.data(), 1, text.size(), file_) != text.size();
        return;
    }
    pending_ += text;
}

bool FileSink::flush() noexcept
{
    if (file_ == nullptr)
        return false;
    if (!pending_.empty()) {
        failed_ = failed_ || std::fwrite(pending_.data(), 1, pending_.size(), file_) != pending_.size();
        pending_.clear();
    }
    failed_ = failed_ || std::fflush(file_) != 0;
    return !failed_;
}

}  // namespace vr::vrclog
