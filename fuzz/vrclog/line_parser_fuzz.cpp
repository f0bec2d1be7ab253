// Parses the first line of the input alone, then reads the whole input as a
// log with buffer sizes taken from the first byte: every view the parser
// gives must lie inside its line, the parser's quick search for the end of
// the process column must read the line as trying every end does, and every
// record must be the bytes of the log at its offset, in order, none
// overlapping the one before. The log read again as a live log, in reads of
// a size also taken from the first byte, must give the records of the whole.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>

#include <string>
#include <vector>

#include "line_parser_reference.h"
#include "log_follow.h"
#include "log_reader.h"

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

bool inside(std::string_view part, std::string_view whole)
{
    return part.empty() || (part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace vr::vrclog;
    if (size == 0)
        return 0;
    const std::string_view log(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::string_view firstLine = log.substr(0, log.find('\n'));
    const ParsedLine parsed = parseLine(firstLine);
    const ParsedLine reference = testing::parseLineByEveryColumnEnd(firstLine);
    check(parsed.shape == reference.shape);
    if (parsed.shape == LineShape::Header) {
        const LineHeader& a = parsed.header;
        const LineHeader& b = reference.header;
        for (auto [x, y] :
             {std::pair{a.moduleTag, b.moduleTag}, std::pair{a.time, b.time}, std::pair{a.processName, b.processName},
              std::pair{a.sourceFile, b.sourceFile}, std::pair{a.text, b.text}})
            check(x.data() == y.data() && x.size() == y.size());
        check(a.processId == b.processId && a.threadId == b.threadId && a.hexadecimalIds == b.hexadecimalIds);
        check(a.sourceLine == b.sourceLine && a.lineClass == b.lineClass && a.level == b.level && a.count == b.count);
    }
    if (parsed.shape == LineShape::Header) {
        const LineHeader& h = parsed.header;
        check(h.time.size() == kTimeLength);
        for (std::string_view field : {h.moduleTag, h.time, h.processName, h.sourceFile, h.text})
            check(inside(field, firstLine));
        check(h.count >= 1 && h.level >= 0);
    }

    const std::size_t block = 16 + data[0] % 64;
    LogReader reader(std::make_unique<MemorySource>(log), 0, ReaderLimits{block, block * (1 + data[0] % 8)});
    LogRecord record;
    uint64_t end = 0;
    while (reader.next(record)) {
        check(record.fileOffset >= end && record.fileOffset + record.raw.size() <= log.size());
        check(std::memcmp(log.data() + record.fileOffset, record.raw.data(), record.raw.size()) == 0);
        check(!record.raw.empty());
        if (record.hasHeader) {
            check(inside(record.header.text, record.raw));
            check(inside(record.header.processName, record.raw));
        }
        check(record.fullText().size() <= record.raw.size());
        end = record.fileOffset + record.raw.size();
    }

    // Records cut for their size may end elsewhere when their bytes come in
    // pieces: the live log is compared with room for the whole input.
    const ReaderLimits roomy{block, log.size() + block};
    std::vector<std::string> records;
    LogReader whole(std::make_unique<MemorySource>(log), 0, roomy);
    while (whole.next(record))
        records.emplace_back(record.raw);
    LiveRecords live(roomy);
    std::size_t given = 0;
    bool same = true;
    const auto take = [&](const LogRecord& liveRecord) {
        same = same && given < records.size() && liveRecord.raw == records[given];
        ++given;
    };
    const std::size_t readBytes = 1 + data[0] % 13;
    for (std::size_t at = 0; at < log.size(); at += readBytes) {
        live.append(log.substr(at, readBytes));
        live.release(false, false, take);
    }
    live.release(true, true, take);
    check(same && given == records.size());
    return 0;
}
