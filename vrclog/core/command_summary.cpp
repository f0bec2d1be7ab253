// vrclog summary: per thread the first and last time and the lines by class;
// the traced functions by calls and the TRC texts by repeats, most first; every
// error report with its time. Names and texts are kept once each, in an arena,
// and counted through views of them: a line that repeats a known name costs no
// allocation.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "command_line.h"
#include "thread_index.h"

namespace vr::vrclog {

namespace {

// Texts that differ only beyond this many bytes are counted together.
constexpr std::size_t kMaxKeyBytes = 1024;
constexpr std::size_t kMaxShownTextBytes = 300;
constexpr std::size_t kArenaChunkBytes = 64 * 1024;

class StringArena {
public:
    std::string_view keep(std::string_view text)
    {
        if (text.size() > available_) {
            const std::size_t size = std::max(kArenaChunkBytes, text.size());
            chunks_.push_back(std::make_unique<char[]>(size));
            next_ = chunks_.back().get();
            available_ = size;
        }
        char* place = next_;
        if (!text.empty())
            std::memcpy(place, text.data(), text.size());
        next_ += text.size();
        available_ -= text.size();
        return {place, text.size()};
    }

private:
    std::vector<std::unique_ptr<char[]>> chunks_;
    char* next_ = nullptr;
    std::size_t available_ = 0;
};

class Counter {
public:
    explicit Counter(StringArena& arena) : arena_(arena) {}

    void add(std::string_view key, uint64_t amount)
    {
        key = key.substr(0, kMaxKeyBytes);
        auto found = counts_.find(key);
        if (found == counts_.end())
            found = counts_.emplace(arena_.keep(key), 0).first;
        found->second += amount;
    }

    // Most first; equal counts by text.
    std::vector<std::pair<std::string_view, uint64_t>> ranked() const
    {
        std::vector<std::pair<std::string_view, uint64_t>> list(counts_.begin(), counts_.end());
        std::sort(list.begin(), list.end(), [](const auto& a, const auto& b) {
            return a.second != b.second ? a.second > b.second : a.first < b.first;
        });
        return list;
    }

private:
    StringArena& arena_;
    std::unordered_map<std::string_view, uint64_t> counts_;
};

struct ThreadSummary {
    std::string first;
    std::string last;
    std::array<uint64_t, kLineClassCount> lines{};
};

struct ErrorReport {
    std::string time;
    std::string text;
    std::string thread;  // empty for a report written without a header
};

// One line of output for a text that may hold line ends, cut to a readable length.
std::string oneLine(std::string_view text)
{
    std::string shown;
    const std::size_t limit = std::min(text.size(), kMaxShownTextBytes);
    for (std::size_t i = 0; i < limit; ++i) {
        const char c = text[i];
        if (c == '\n')
            shown += " / ";
        else if (c != '\r')
            shown += c;
    }
    if (text.size() > limit)
        shown += " ...";
    return shown;
}

std::string formatCount(uint64_t value, int width)
{
    char digits[32];
    std::snprintf(digits, sizeof digits, "%*llu", width, static_cast<unsigned long long>(value));
    return digits;
}

class Summary {
public:
    void add(const LogRecord& record)
    {
        const LineHeader& header = record.header;
        if (header.lineClass == LineClass::Error) {
            errors_.push_back(ErrorReport{std::string(header.time), oneLine(record.fullText()),
                                          record.hasHeader ? threadLabel(threads_.identity(threads_.indexOf(header))) : ""});
        }
        if (!record.hasHeader) {
            ++headerless_;
            return;
        }
        const std::size_t index = threads_.indexOf(header);
        if (index >= perThread_.size())
            perThread_.resize(index + 1);
        ThreadSummary& thread = perThread_[index];
        if (thread.first.empty() || header.time < std::string_view(thread.first))
            thread.first.assign(header.time);
        if (thread.last.empty() || header.time > std::string_view(thread.last))
            thread.last.assign(header.time);
        ++thread.lines[static_cast<std::size_t>(header.lineClass)];
        if (header.lineClass == LineClass::Entry)
            functions_.add(header.text, static_cast<uint64_t>(header.count));
        else if (header.lineClass == LineClass::Trc)
            trcTexts_.add(record.fullText(), static_cast<uint64_t>(header.count));
    }

    void write(TextSink& out, uint64_t unparsedLines) const
    {
        out.write("Threads\n  first                    last                       lines    REL    TRC    DBG  ENTRY  ERROR   TEXT  thread\n");
        for (std::size_t i = 0; i < perThread_.size(); ++i) {
            const ThreadSummary& thread = perThread_[i];
            uint64_t total = 0;
            for (uint64_t n : thread.lines)
                total += n;
            std::string row = "  " + thread.first + "  " + thread.last + "  " + formatCount(total, 6);
            for (LineClass c : {LineClass::Rel, LineClass::Trc, LineClass::Dbg, LineClass::Entry, LineClass::Error, LineClass::Plain})
                row += formatCount(thread.lines[static_cast<std::size_t>(c)], 7);
            out.write(row + "  " + threadLabel(threads_.identity(i)) + "\n");
        }
        if (headerless_ > 0)
            out.write("  " + formatCount(headerless_, 6) + " line(s) without a header (error reports, stray text)\n");
        writeRanked(out, "\nFunctions by calls\n     calls  function\n", functions_);
        writeRanked(out, "\nTRC texts by repeats\n   repeats  text\n", trcTexts_);
        out.write("\nErrors\n");
        if (errors_.empty())
            out.write("  none\n");
        for (const ErrorReport& error : errors_) {
            std::string line = "  " + (error.time.empty() ? std::string(kTimeLength, '-') : error.time) + "  " + error.text;
            if (!error.thread.empty())
                line += "  [" + error.thread + "]";
            out.write(line + "\n");
        }
        if (unparsedLines > 0)
            out.write("\nLines that could not be read as trace lines: " + std::to_string(unparsedLines) + "\n");
    }

private:
    static void writeRanked(TextSink& out, std::string_view heading, const Counter& counter)
    {
        out.write(heading);
        const auto ranked = counter.ranked();
        if (ranked.empty())
            out.write("  none\n");
        for (const auto& [text, count] : ranked)
            out.write(formatCount(count, 10) + "  " + oneLine(text) + "\n");
    }

    ThreadIndex threads_;
    std::vector<ThreadSummary> perThread_;
    StringArena arena_;
    Counter functions_{arena_};
    Counter trcTexts_{arena_};
    std::vector<ErrorReport> errors_;
    uint64_t headerless_ = 0;
};

}  // namespace

bool runSummary(LogMerge& logs, const LogFilter& filter, TextSink& out)
{
    Summary summary;
    bool matched = false;
    LogRecord record;
    while (logs.next(record)) {
        if (!filter.matches(record))
            continue;
        matched = true;
        summary.add(record);
    }
    if (matched)
        summary.write(out, logs.unparsedLines());
    return matched;
}

}  // namespace vr::vrclog
