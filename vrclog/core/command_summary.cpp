// vrclog summary: per thread the first and last time and the lines by class;
// the traced functions by calls and the TRC texts by repeats, most first; every
// error report with its time; every place a log says lines are missing.
#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "command_summary.h"
#include "matching_records.h"
#include "trace/core/gap_line.h"
#include "text_counter.h"
#include "thread_index.h"

namespace vr::vrclog {

namespace {

// Texts that differ only beyond this many bytes are counted together.
constexpr std::size_t kMaxKeyBytes = 1024;
constexpr std::size_t kMaxShownTextBytes = 300;

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

// A text that may hold line ends as one line of output, cut to a readable
// length: each line end becomes " / " and carriage returns are left out. The
// runs between them go out whole.
void appendOneLine(std::string& shown, std::string_view text)
{
    const std::size_t limit = std::min(text.size(), kMaxShownTextBytes);
    const char* at = text.data();
    const char* const end = at + limit;
    while (at < end) {
        const void* found = std::memchr(at, '\n', static_cast<std::size_t>(end - at));
        const char* lineEnd = found != nullptr ? static_cast<const char*>(found) : end;
        while (at < lineEnd) {
            const void* ret = std::memchr(at, '\r', static_cast<std::size_t>(lineEnd - at));
            const char* pieceEnd = ret != nullptr ? static_cast<const char*>(ret) : lineEnd;
            shown.append(at, static_cast<std::size_t>(pieceEnd - at));
            at = pieceEnd == lineEnd ? lineEnd : pieceEnd + 1;
        }
        if (lineEnd < end) {
            shown += " / ";
            ++at;
        }
    }
    if (text.size() > limit)
        shown += " ...";
}

std::string oneLine(std::string_view text)
{
    std::string shown;
    appendOneLine(shown, text);
    return shown;
}

// The count right-aligned in width places, as "%*llu" writes it.
void appendCount(std::string& row, uint64_t value, std::size_t width)
{
    char digits[24];
    std::size_t start = sizeof digits;
    do {
        digits[--start] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    const std::size_t length = sizeof digits - start;
    if (length < width)
        row.append(width - length, ' ');
    row.append(digits + start, length);
}

std::string formatCount(uint64_t value, std::size_t width)
{
    std::string row;
    appendCount(row, value, width);
    return row;
}

class Summary {
public:
    void add(const LogRecord& record)
    {
        const LineHeader& header = record.header;
        if (header.lineClass == LineClass::Error) {
            errors_.push_back(
                ErrorReport{std::string(header.time), oneLine(record.fullText()),
                            record.hasHeader ? threadLabel(threads_.identity(threads_.indexOf(header))) : ""});
        }
        if (!record.hasHeader) {
            ++headerless_;
            return;
        }
        // The tracer's own line where a log lost lines: one line of exactly
        // its shape (a record with further lines is a component's text).
        if (trace::GapText gap; header.lineClass == LineClass::Rel && record.fullText().size() == header.text.size() &&
                                trace::parseGapText(header.text, gap))
            gaps_.push_back(ErrorReport{std::string(header.time),
                                        oneLine(header.text.substr(trace::kGapLineStart.size())),
                                        threadLabel(threads_.identity(threads_.indexOf(header)))});
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
            functions_.add(header.text.substr(0, kMaxKeyBytes), static_cast<uint64_t>(header.count));
        else if (header.lineClass == LineClass::Trc)
            trcTexts_.add(record.fullText().substr(0, kMaxKeyBytes), static_cast<uint64_t>(header.count));
    }

    void write(TextSink& out, uint64_t unparsedLines) const
    {
        out.write("Threads\n  first                    last                       lines    REL    TRC    DBG  ENTRY  "
                  "ERROR   TEXT  thread\n");
        for (std::size_t i = 0; i < perThread_.size(); ++i) {
            const ThreadSummary& thread = perThread_[i];
            uint64_t total = 0;
            for (uint64_t n : thread.lines)
                total += n;
            std::string row = "  " + thread.first + "  " + thread.last + "  " + formatCount(total, 6);
            for (LineClass c :
                 {LineClass::Rel, LineClass::Trc, LineClass::Dbg, LineClass::Entry, LineClass::Error, LineClass::Plain})
                row += formatCount(thread.lines[static_cast<std::size_t>(c)], 7);
            out.write(row + "  " + threadLabel(threads_.identity(i)) + "\n");
        }
        if (headerless_ > 0)
            out.write("  " + formatCount(headerless_, 6) + " line(s) without a header (error reports, stray text)\n");
        writeRanked(out, "\nFunctions by calls\n     calls  function\n", functions_);
        writeRanked(out, "\nTRC texts by repeats\n   repeats  text\n", trcTexts_);
        writeTimed(out, "\nErrors\n", errors_);
        writeTimed(out, "\nMissing lines\n", gaps_);
        if (unparsedLines > 0)
            out.write("\nLines that could not be read as trace lines: " + std::to_string(unparsedLines) + "\n");
    }

private:
    static void writeTimed(TextSink& out, std::string_view heading, const std::vector<ErrorReport>& reports)
    {
        out.write(heading);
        if (reports.empty())
            out.write("  none\n");
        for (const ErrorReport& report : reports) {
            std::string line =
                "  " + (report.time.empty() ? std::string(kTimeLength, '-') : report.time) + "  " + report.text;
            if (!report.thread.empty())
                line += "  [" + report.thread + "]";
            out.write(line + "\n");
        }
    }

    static void writeRanked(TextSink& out, std::string_view heading, const TextCounter& counter)
    {
        out.write(heading);
        const auto ranked = counter.ranked();
        if (ranked.empty())
            out.write("  none\n");
        std::string row;
        for (const auto& [text, count] : ranked) {
            row.clear();
            appendCount(row, count, 10);
            row += "  ";
            appendOneLine(row, text);
            row += '\n';
            out.write(row);
        }
    }

    ThreadIndex threads_;
    std::vector<ThreadSummary> perThread_;
    TextCounter functions_;
    TextCounter trcTexts_;
    std::vector<ErrorReport> errors_;
    std::vector<ErrorReport> gaps_;  // where a log says lines are missing
    uint64_t headerless_ = 0;
};

}  // namespace

bool runSummary(LogMerge& logs, const LogFilter& filter, TextSink& out)
{
    Summary summary;
    const bool matched = forEachMatchingRecord(logs, filter, [&](const LogRecord& record) { summary.add(record); });
    if (matched)
        summary.write(out, logs.unparsedLines());
    return matched;
}

}  // namespace vr::vrclog
