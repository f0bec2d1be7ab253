// Helpers shared by the vrclog unit tests: the test logs, and reading a
// stream of records from memory.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "log_merge.h"

namespace vr::vrclog::testing {

// A file of tests/vrclog/data by a name the C runtime opens, also under Wine.
inline std::string dataPath(std::string_view name)
{
#ifdef _WIN32
    return std::string("Z:") + VR_SOURCE_DIR + "/tests/vrclog/data/" + std::string(name);
#else
    return std::string(VR_SOURCE_DIR) + "/tests/vrclog/data/" + std::string(name);
#endif
}

// Logs held in memory, as one merged stream.
inline LogMerge mergeOf(const std::vector<std::string_view>& logs, ReaderLimits limits = {})
{
    std::vector<std::unique_ptr<LogReader>> readers;
    for (std::string_view log : logs)
        readers.push_back(std::make_unique<LogReader>(std::make_unique<MemorySource>(log),
                                                      static_cast<uint32_t>(readers.size()), limits));
    LogMerge merge;
    merge.adopt(std::move(readers));
    return merge;
}

struct CopiedRecord {
    bool hasHeader;
    LineClass lineClass;
    std::string time;
    std::string processName;
    uint32_t processId;
    uint32_t threadId;
    int32_t level;
    int32_t count;
    std::string text;
    std::string fullText;
    std::string raw;
    uint32_t fileIndex;
};

inline std::vector<CopiedRecord> readAll(LogMerge& merge)
{
    std::vector<CopiedRecord> records;
    LogRecord record;
    while (merge.next(record)) {
        const LineHeader& h = record.header;
        records.push_back(CopiedRecord{record.hasHeader, h.lineClass, std::string(h.time), std::string(h.processName),
                                       h.processId, h.threadId, h.level, h.count, std::string(h.text),
                                       std::string(record.fullText()), std::string(record.raw), record.fileIndex});
    }
    return records;
}

inline std::vector<CopiedRecord> readAll(const std::vector<std::string_view>& logs, ReaderLimits limits = {})
{
    LogMerge merge = mergeOf(logs, limits);
    return readAll(merge);
}

}  // namespace vr::vrclog::testing
