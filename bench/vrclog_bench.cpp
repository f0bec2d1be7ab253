// vrclog summary against a plain line count, on one generated debug log of
// about 100,000,000 bytes (the size at which the tracer rotates a log): six
// threads of three processes, traced functions nested and folded, held TRC
// lines, release and debug lines, multi-line texts and error reports. Both
// read the same file, which the first pass leaves in the file cache; each is
// timed as the best of three runs. Then vrclog lines --json against plain
// vrclog lines on a smaller release log written in code page 1252, with
// accented letters, euro signs and typographic quotes in its texts and names:
// records per second through each, in the same run. Prints
//   vrclog summary: <ours> lines/s vs <baseline> lines/s, ratio <x.xx>
//   vrclog lines --json: <ours>/s vs <baseline>/s, ratio <x.xx>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "command_line.h"
#include "platform/c_file.h"
#include "text_sink.h"

namespace {

constexpr std::size_t kLogBytes = 100'000'000;
constexpr int kRuns = 3;

struct Thread {
    std::string column;
    int level = 0;
};

// The process column as the tracer writes it: decimal ids up to thread id
// 65,535, eight hexadecimal digits each above it.
Thread threadOf(const char* program, unsigned processId, unsigned threadId)
{
    char column[96];
    if (threadId <= 0xFFFF)
        std::snprintf(column, sizeof column, "%s %4u %4u", program, processId, threadId);
    else
        std::snprintf(column, sizeof column, "%s 0x%08X 0x%08X", program, processId, threadId);
    return {column};
}

class LogWriter {
public:
    explicit LogWriter(std::FILE* file) : file_(file) {}

    void line(const Thread& thread, const char* source, int sourceLine, const std::string& rest)
    {
        char header[160];
        ++millisecond_;
        std::snprintf(header, sizeof header, "%-7s 2026-12-08 %02d:%02d:%02d.%03d %-20s%25s%5d ", "VRCCLN",
                      static_cast<int>((millisecond_ / 3600000) % 24), static_cast<int>((millisecond_ / 60000) % 60),
                      static_cast<int>((millisecond_ / 1000) % 60), static_cast<int>(millisecond_ % 1000),
                      thread.column.c_str(), source, sourceLine);
        text_ += header;
        text_ += rest;
        if (text_.size() > (1u << 20))
            flush();
    }
    void raw(const char* text) { text_ += text; }
    void flush()
    {
        written_ += std::fwrite(text_.data(), 1, text_.size(), file_);
        text_.clear();
    }
    std::size_t size() const { return written_ + text_.size(); }

private:
    std::FILE* file_;
    std::string text_;
    std::size_t written_ = 0;
    long long millisecond_ = 0;
};

bool generate(const std::string& path)
{
    vr::UniqueCFile file(std::fopen(path.c_str(), "wb"));
    if (!file)
        return false;
    LogWriter log(file.get());
    std::vector<Thread> threads = {threadOf("spoolsv", 1204, 2210),       threadOf("spoolsv", 1204, 2214),
                                   threadOf("VRCPRINT", 6700, 77568),     threadOf("VRCPRINT", 6700, 77576),
                                   threadOf("printer queue 2", 344, 348), threadOf("printer queue 2", 344, 352)};
    const char* functions[] = {"OpenPrinterQueue", "RenderPage",     "CompressBand", "SendToPort",
                               "ReadSettings",     "GetSpoolFolder", "FlushJob",     "ReleaseHandle"};
    std::mt19937 random(2088);
    char text[200];
    while (log.size() < kLogBytes) {
        Thread& thread = threads[random() % threads.size()];
        const unsigned pick = random() % 100;
        if (pick < 4 || thread.level == 0) {
            log.raw("\r\n");
            thread.level = 1;
            log.line(thread, "queue_manager.cpp", 120, "1      PrintJob\r\n");
        } else if (pick < 40) {
            thread.level = std::min(thread.level + 1, 12);
            const int calls = random() % 4 == 0 ? 2 + static_cast<int>(random() % 9) : 1;
            char column[16];
            std::snprintf(column, sizeof column, calls > 1 ? "%d(%d)" : "%d", thread.level, calls);
            std::snprintf(text, sizeof text, "%-7s%s%s\r\n", column, std::string(thread.level - 1, '.').c_str(),
                          functions[random() % 8]);
            log.line(thread, "render_engine.cpp", 400 + static_cast<int>(random() % 500), text);
            if (random() % 3 == 0)
                thread.level = std::max(1, thread.level - static_cast<int>(random() % 3));
        } else if (pick < 75) {
            const unsigned repeats = random() % 5;
            char column[16];
            if (repeats > 1)
                std::snprintf(column, sizeof column, "TRCx%-3u", repeats);
            else
                std::snprintf(column, sizeof column, "TRC    ");
            std::snprintf(text, sizeof text, "%s%s band %u of page %u ready\r\n", column,
                          std::string(thread.level - 1, '.').c_str(), static_cast<unsigned>(random() % 64),
                          static_cast<unsigned>(random() % 8));
            log.line(thread, "printer_queue_scheduler_core.cpp", 1207, text);
        } else if (pick < 88) {
            std::snprintf(text, sizeof text, "REL    job %u: %u bytes sent to port LPT1:\r\n",
                          static_cast<unsigned>(random() % 1000), static_cast<unsigned>(random()));
            log.line(thread, "port_monitor.cpp", 77, text);
        } else if (pick < 98) {
            log.line(thread, "settings.cpp", 312, "DBG    settings read:\n  Duplex=1\n  Copies=2\r\n");
        } else if (pick < 99) {
            log.raw("DEBUG ERROR: Function level count below 0.\n");
        } else {
            log.line(thread, "device_mode.cpp", 61, "DBG    DEBUG ERROR: printer \"Main Office\" not found\r\n");
        }
    }
    log.flush();
    return std::fclose(file.release()) == 0;  // the last bytes are written here
}

std::size_t countLines(const std::string& path)
{
    const vr::UniqueCFile file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return 0;
    std::vector<char> block(std::size_t{1} << 20);
    std::size_t lines = 0;
    for (std::size_t n; (n = std::fread(block.data(), 1, block.size(), file.get())) > 0;)
        lines += static_cast<std::size_t>(std::count(block.data(), block.data() + n, '\n'));
    return lines;
}

constexpr std::size_t kReleaseLogBytes = 20'000'000;

// A driver log as a Western European machine writes it: code page 1252.
bool generateReleaseLog(const std::string& path)
{
    vr::UniqueCFile file(std::fopen(path.c_str(), "wb"));
    if (!file)
        return false;
    LogWriter log(file.get());
    const Thread threads[] = {threadOf("spoolsv", 1204, 2210), threadOf("Fakturadruck M\xfcller", 6700, 7756),
                              threadOf("impression r\xe9seau", 344, 348)};
    const char* texts[] = {"REL    job %u: %u bytes sent to \x93"
                           "Caf\xe9 Z\xfcrich \x96 B\xfcro 2\x94\r\n",
                           "REL    job %u: invoice total \x80 %u,00 printed on \xab"
                           "A4 \xe9"
                           "conomique\xbb\r\n",
                           "REL    job %u: queue \x84"
                           "Stra\xdf"
                           "e 5\x93 held %u pages\r\n"};
    std::mt19937 random(1252);
    char text[200];
    while (log.size() < kReleaseLogBytes) {
        const unsigned pick = random() % 3;
        std::snprintf(text, sizeof text, texts[pick], static_cast<unsigned>(random() % 1000),
                      static_cast<unsigned>(random() % 100000));
        log.line(threads[pick], "port_monitor_\xe9tat.cpp", 77, text);
    }
    log.flush();
    return std::fclose(file.release()) == 0;
}

// Gathers what a command writes into a block, as the console's file sink
// does, and drops the block where that sink would write it; lines writes each
// record at once, so the writes count them.
class CountingSink final : public vr::vrclog::TextSink {
public:
    CountingSink() { block_.reserve(vr::vrclog::FileSink::kBlockBytes); }
    void write(std::string_view text) override
    {
        ++writes;
        if (block_.size() + text.size() > vr::vrclog::FileSink::kBlockBytes)
            block_.clear();
        block_.append(text);
    }
    std::size_t writes = 0;

private:
    std::string block_;
};

template <typename Work>
double bestSeconds(Work work)
{
    double best = 1e30;
    for (int run = 0; run < kRuns; ++run) {
        const auto start = std::chrono::steady_clock::now();
        work();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

// Prints "<name>: <ours>/s vs <baseline>/s, ratio <x>" for `count` units
// done in each time; false (and says so) when a run failed or did nothing.
bool printRates(const char* name, const char* unit, bool done, std::size_t count, double oursSeconds,
                double baselineSeconds)
{
    if (!done || count == 0) {
        std::fprintf(stderr, "vrclog_bench: %s failed\n", name);
        return false;
    }
    const double oursRate = static_cast<double>(count) / oursSeconds;
    const double baselineRate = static_cast<double>(count) / baselineSeconds;
    std::printf("%s: %.0f %s/s vs %.0f %s/s, ratio %.2f\n", name, oursRate, unit, baselineRate, unit,
                oursRate / baselineRate);
    return true;
}

}  // namespace

int main()
{
    const std::string path = (std::filesystem::temp_directory_path() / "vrclog_bench_VRCDBG62.LOG").string();
    if (!generate(path)) {
        std::fprintf(stderr, "vrclog_bench: cannot write %s\n", path.c_str());
        return 1;
    }
    std::size_t lines = 0;
    const double baseline = bestSeconds([&] { lines = countLines(path); });
    bool done = true;
    const double ours = bestSeconds([&] {
        vr::vrclog::Options options;
        options.command = vr::vrclog::Command::Summary;
        options.logs = {path};
        vr::vrclog::StringSink out;
        vr::vrclog::StringSink errors;
        done = done && vr::vrclog::runCommand(options, out, errors) == vr::vrclog::kExitDone;
    });
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    if (!printRates("vrclog summary", "lines", done, lines, ours, baseline))
        return 1;

    const std::string releaseLog = (std::filesystem::temp_directory_path() / "vrclog_bench_VRCDRV62.LOG").string();
    if (!generateReleaseLog(releaseLog)) {
        std::fprintf(stderr, "vrclog_bench: cannot write %s\n", releaseLog.c_str());
        return 1;
    }
    // Plain and JSON runs take turns, so that both meet the same load of
    // the machine; each keeps its best.
    std::size_t records = 0;
    const auto timeLines = [&](bool json) {
        const auto start = std::chrono::steady_clock::now();
        vr::vrclog::Options options;
        options.command = vr::vrclog::Command::Lines;
        options.json = json;
        options.codePage = 1252;
        options.logs = {releaseLog};
        CountingSink out;
        vr::vrclog::StringSink errors;
        done = done && vr::vrclog::runCommand(options, out, errors) == vr::vrclog::kExitDone;
        records = out.writes;
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    double plainSeconds = 1e30;
    double jsonSeconds = 1e30;
    for (int run = 0; run < 2 * kRuns; ++run) {
        plainSeconds = std::min(plainSeconds, timeLines(false));
        jsonSeconds = std::min(jsonSeconds, timeLines(true));
    }
    std::filesystem::remove(releaseLog, ignored);
    return printRates("vrclog lines --json", "records", done, records, jsonSeconds, plainSeconds) ? 0 : 1;
}
