// vrclog perfetto: the stream as Chrome Trace Event Format JSON, which
// Perfetto and chrome://tracing open. Every entry line becomes a complete
// slice on its thread. The logs have no exit lines, so a slice ends at the
// thread's next entry at the same or an outer level, or at a TRC line traced
// further out, or else at the thread's last line. Slices are written as they
// end and every other event at once: the file grows while the logs are read,
// and memory holds only the open slices of each thread.
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "command_perfetto.h"
#include "json_text.h"
#include "matching_records.h"
#include "thread_index.h"
#include "utc_offset.h"

namespace vr::vrclog {

namespace {

constexpr std::size_t kMaxOpenSlices = 256;  // deeper than the tracer's 100 levels

// The log's local time as microseconds, counted as if it were UTC.
int64_t microseconds(std::string_view time) noexcept
{
    const auto number = [&](std::size_t at, std::size_t length) {
        int64_t value = 0;
        for (std::size_t i = at; i < at + length; ++i)
            value = value * 10 + (time[i] - '0');
        return value;
    };
    const int64_t days = daysFromCivil(number(0, 4), number(5, 2), number(8, 2));
    const int64_t seconds = days * 86400 + number(11, 2) * 3600 + number(14, 2) * 60 + number(17, 2);
    return seconds * 1000000 + number(20, 3) * 1000;
}

struct OpenSlice {
    int32_t level;
    int32_t calls;
    int64_t start;
    std::string name;
    std::string source;
};

struct ThreadTrack {
    std::vector<OpenSlice> open;
    int64_t last = 0;
};

class PerfettoWriter {
public:
    PerfettoWriter(TextSink& out, CodePage& codePage) : out_(out), event_(codePage)
    {
        out_.write("{\"traceEvents\":[\n");
    }

    void add(const LogRecord& record)
    {
        const LineHeader& header = record.header;
        const int64_t ts = microseconds(header.time);
        if (!record.hasHeader) {
            // A report written without a header belongs to no known thread.
            beginEvent("i", 0, 0, ts);
            event_.putRaw(",\"s\":\"g\",\"name\":\"DEBUG ERROR\",\"cat\":\"error\",\"args\":{\"text\":");
            event_.putString(record.fullText());
            endEvent("}");
            return;
        }
        const std::size_t thread = threads_.indexOf(header);
        if (thread >= tracks_.size()) {
            tracks_.resize(thread + 1);
            describeThread(threads_.identity(thread));
        }
        ThreadTrack& track = tracks_[thread];
        track.last = ts;
        const uint32_t pid = header.processId;
        const uint32_t tid = header.threadId;
        if (header.lineClass == LineClass::Entry) {
            closeSlices(track, pid, tid, header.level, ts);
            if (track.open.size() >= kMaxOpenSlices)
                closeSlices(track, pid, tid, track.open.front().level, ts);
            track.open.push_back(OpenSlice{header.level, header.count, ts, std::string(header.text), source(header)});
            return;
        }
        if (header.lineClass == LineClass::Trc)
            closeSlices(track, pid, tid, header.level + 1, ts);
        beginEvent("i", pid, tid, ts);
        event_.putRaw(",\"s\":\"t\",\"name\":");
        event_.putString(header.lineClass == LineClass::Error ? "DEBUG ERROR" : lineClassName(header.lineClass));
        event_.putRaw(",\"cat\":\"");
        event_.putRaw(lineClassName(header.lineClass));
        event_.putRaw("\",\"args\":{\"text\":");
        event_.putString(record.fullText());
        if (header.lineClass == LineClass::Trc) {
            event_.putRaw(",\"repeats\":");
            event_.putNumber(header.count);
        }
        event_.putRaw(",\"source\":");
        event_.putString(source(header));
        endEvent("}");
    }

    void finish()
    {
        for (std::size_t thread = 0; thread < tracks_.size(); ++thread) {
            const ThreadIdentity& identity = threads_.identity(thread);
            closeSlices(tracks_[thread], identity.processId, identity.threadId, 0, tracks_[thread].last);
        }
        out_.write("\n]}\n");
    }

private:
    static std::string source(const LineHeader& header)
    {
        return std::string(header.sourceFile) + ":" + std::to_string(header.sourceLine);
    }

    void beginEvent(std::string_view phase, uint32_t pid, uint32_t tid, int64_t ts)
    {
        event_.clear();
        event_.putRaw(first_ ? "{\"ph\":\"" : ",\n{\"ph\":\"");
        first_ = false;
        event_.putRaw(phase);
        event_.putRaw("\",\"pid\":");
        event_.putNumber(pid);
        event_.putRaw(",\"tid\":");
        event_.putNumber(tid);
        event_.putRaw(",\"ts\":");
        event_.putNumber(ts);
    }

    void endEvent(std::string_view closing)
    {
        event_.putRaw(closing);
        event_.putRaw("}");
        out_.write(event_.text());
    }

    void describeThread(const ThreadIdentity& identity)
    {
        if (processes_.insert({identity.processId, identity.processName}).second) {
            beginEvent("M", identity.processId, 0, 0);
            event_.putRaw(",\"name\":\"process_name\",\"args\":{\"name\":");
            event_.putString(identity.processName);
            endEvent("}");
        }
        beginEvent("M", identity.processId, identity.threadId, 0);
        event_.putRaw(",\"name\":\"thread_name\",\"args\":{\"name\":");
        event_.putString(identity.processName + " " + std::to_string(identity.threadId));
        endEvent("}");
    }

    // Ends the open slices at level and deeper.
    void closeSlices(ThreadTrack& track, uint32_t pid, uint32_t tid, int32_t level, int64_t end)
    {
        while (!track.open.empty() && track.open.back().level >= level) {
            const OpenSlice& slice = track.open.back();
            beginEvent("X", pid, tid, slice.start);
            event_.putRaw(",\"dur\":");
            event_.putNumber(end > slice.start ? end - slice.start : 0);
            event_.putRaw(",\"name\":");
            event_.putString(slice.name);
            event_.putRaw(",\"cat\":\"entry\",\"args\":{\"level\":");
            event_.putNumber(slice.level);
            event_.putRaw(",\"calls\":");
            event_.putNumber(slice.calls);
            event_.putRaw(",\"source\":");
            event_.putString(slice.source);
            endEvent("}");
            track.open.pop_back();
        }
    }

    TextSink& out_;
    ThreadIndex threads_;
    std::vector<ThreadTrack> tracks_;
    std::set<std::pair<uint32_t, std::string>> processes_;
    JsonWriter event_;
    bool first_ = true;
};

}  // namespace

bool runPerfetto(LogMerge& logs, const LogFilter& filter, CodePage& codePage, TextSink& json)
{
    PerfettoWriter writer(json, codePage);
    const bool matched = forEachMatchingRecord(
        logs, filter,
        // Lines found before any record have no time to place them at.
        [](const LogRecord& record) noexcept { return !record.header.time.empty(); },
        [&](const LogRecord& record) { writer.add(record); });
    writer.finish();
    return matched;
}

}  // namespace vr::vrclog
