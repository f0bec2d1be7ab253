// The threads of a stream, numbered in the order they first appear, so that
// a command keeps its per-thread state in a plain vector. No platform calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "log_line.h"

namespace vr::vrclog {

struct ThreadIdentity {
    std::string processName;
    uint32_t processId = 0;
    uint32_t threadId = 0;
    bool hexadecimalIds = false;
};

class ThreadIndex {
public:
    // The number of the header's thread; a thread seen first gets the next one.
    std::size_t indexOf(const LineHeader& header);
    std::size_t size() const noexcept { return threads_.size(); }
    const ThreadIdentity& identity(std::size_t index) const noexcept { return threads_[index]; }

private:
    static uint64_t idsKey(uint32_t processId, uint32_t threadId) noexcept
    {
        return (uint64_t{processId} << 32) | threadId;
    }
    static constexpr std::size_t kScannedThreads = 16;
    std::vector<ThreadIdentity> threads_;
    std::vector<uint64_t> keys_;  // the ids of each thread, as idsKey gives them
    // A process id with its thread id can come back under another executable name.
    std::unordered_multimap<uint64_t, std::size_t> byIds_;
    std::size_t last_ = 0;
};

// "name pid 308 tid 320", the ids as the log wrote them.
std::string threadLabel(const ThreadIdentity& thread);

}  // namespace vr::vrclog
