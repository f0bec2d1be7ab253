#include "thread_index.h"

#include <cstdio>

namespace vr::vrclog {

std::size_t ThreadIndex::indexOf(const LineHeader& header)
{
    // Lines of one thread mostly come in runs.
    if (last_ < threads_.size()) {
        const ThreadIdentity& last = threads_[last_];
        if (last.threadId == header.threadId && last.processId == header.processId &&
            last.processName == header.processName)
            return last_;
    }
    const uint64_t key = idsKey(header.processId, header.threadId);
    if (threads_.size() <= kScannedThreads) {
        // A log mostly has a handful of threads, whose ids sit in one cache line.
        for (std::size_t i = 0; i < keys_.size(); ++i) {
            if (keys_[i] == key && threads_[i].processName == header.processName) {
                last_ = i;
                return last_;
            }
        }
    } else {
        const auto [first, end] = byIds_.equal_range(key);
        for (auto it = first; it != end; ++it) {
            if (threads_[it->second].processName == header.processName) {
                last_ = it->second;
                return last_;
            }
        }
    }
    threads_.push_back(
        ThreadIdentity{std::string(header.processName), header.processId, header.threadId, header.hexadecimalIds});
    keys_.push_back(key);
    last_ = threads_.size() - 1;
    byIds_.emplace(key, last_);
    return last_;
}

std::string threadLabel(const ThreadIdentity& thread)
{
    char ids[64];
    std::snprintf(ids, sizeof ids, thread.hexadecimalIds ? " pid 0x%08X tid 0x%08X" : " pid %u tid %u",
                  static_cast<unsigned>(thread.processId), static_cast<unsigned>(thread.threadId));
    return thread.processName + ids;
}

}  // namespace vr::vrclog
