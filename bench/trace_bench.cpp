// Tracer throughput, one line per comparison:
//   <name>: <ours>/s vs <baseline>/s, ratio <x.xx>
// Held entries of nested traced functions do no I/O: they are set against
// building the same line header in memory (the local time and the header
// format). Log lines open, append to and close their log for every line: the
// floor of that design is a bare loop doing just that with a line of the same
// length in the same folder. Many writers at once are set against bare
// writers that make the same lines and retry their exclusive open until it
// succeeds: the floor for losing no line. Lines to a log past its limit whose
// backup someone holds are set against lines to a log below it, and lines
// after another process died holding the logging semaphore against the same
// lines before, and lines of a thread impersonating another user against the
// same lines of the process's own thread. The benchmark starts itself again
// as the second process of those runs:
//   trace_bench writers <ours|bare> <threads> <lines> <bare log> <line>
//   trace_bench die      takes the logging semaphore and ends without giving it back
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "child_program.h"
#include "other_user.h"
#include "platform/c_file.h"
#include "platform/handles.h"
#include "registry_state.h"
#include "shared_file.h"
#include "text.h"
#include "trace/tracer_seams.h"
#include "vrcommon.h"

namespace {

constexpr double kSeconds = 2.0;
constexpr double kSlice = 0.05;

struct Rates {
    double ours;
    double baseline;
};

// Runs a step in batches for about a slice of time; adds its count and time.
template <class Step>
void runSlice(Step& step, long long& count, double& seconds)
{
    using clock = std::chrono::steady_clock;
    const auto start = clock::now();
    double elapsed = 0;
    do {
        for (int i = 0; i < 16; ++i)
            step();
        count += 16;
        elapsed = std::chrono::duration<double>(clock::now() - start).count();
    } while (elapsed < kSlice);
    seconds += elapsed;
}

// Alternates slices of the two so that both meet the same load of the machine.
template <class Ours, class Baseline>
Rates compare(Ours ours, Baseline baseline)
{
    long long oursCount = 0, baselineCount = 0;
    double oursSeconds = 0, baselineSeconds = 0;
    while (oursSeconds < kSeconds || baselineSeconds < kSeconds) {
        runSlice(ours, oursCount, oursSeconds);
        runSlice(baseline, baselineCount, baselineSeconds);
    }
    return {static_cast<double>(oursCount) / oursSeconds, static_cast<double>(baselineCount) / baselineSeconds};
}

void report(const char* name, Rates rates)
{
    std::printf("%s: %.0f/s vs %.0f/s, ratio %.2f\n", name, rates.ours, rates.baseline, rates.ours / rates.baseline);
    std::fflush(stdout);
}

void appendBare(const wchar_t* path, const char* line, DWORD length)
{
    HANDLE file =
        CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_FLAG_RANDOM_ACCESS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    SetFilePointer(file, 0, nullptr, FILE_END);
    DWORD written = 0;
    WriteFile(file, line, length, &written, nullptr);
    CloseHandle(file);
}

// One of the benchmark's lines as written to its log, for the floor to write
// the same bytes.
std::string lineOf(const std::wstring& log)
{
    char line[1024];
    const vr::UniqueCFile written(_wfopen(log.c_str(), L"rb"));
    bool read = false;
    while (written && std::fgets(line, sizeof line, written.get()) != nullptr)
        if (std::strstr(line, "benchmark line") != nullptr) {
            read = true;
            break;
        }
    if (!read)
        std::snprintf(line, sizeof line, "%0130d\r\n", 0);
    return line;
}

void appendRetrying(const wchar_t* path, const char* line, DWORD length)
{
    HANDLE file;
    while ((file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_FLAG_RANDOM_ACCESS,
                               nullptr)) == INVALID_HANDLE_VALUE)
        SwitchToThread();
    SetFilePointer(file, 0, nullptr, FILE_END);
    DWORD written = 0;
    WriteFile(file, line, length, &written, nullptr);
    CloseHandle(file);
}

constexpr const wchar_t* kWritersGo = L"trace_bench_writers_go";
constexpr const wchar_t* kWritersReady = L"trace_bench_writers_ready";
constexpr int kLinesPerThread = 300;

// Each thread writes its lines once every writer of the run is ready; ours
// are REL lines to the driver log, the floor's the same bytes to its file.
void writeLines(bool ours, int threads, int lines, const std::wstring& bareLog, const std::string& line)
{
    const HANDLE go = CreateEventW(nullptr, TRUE, FALSE, kWritersGo);
    const HANDLE ready = CreateSemaphoreW(nullptr, 0, 64, kWritersReady);
    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t)
        writers.emplace_back([&, t] {
            ReleaseSemaphore(ready, 1, nullptr);
            WaitForSingleObject(go, INFINITE);
            for (int i = 0; i < lines; ++i) {
                if (ours)
                    DBG_Print(__FILE__, __LINE__, DBG_MASK_REL, DBG_Text("benchmark line %d %06d", t, i));
                else
                    appendRetrying(bareLog.c_str(), line.data(), static_cast<DWORD>(line.size()));
            }
        });
    for (std::thread& writer : writers)
        writer.join();
    CloseHandle(ready);
    CloseHandle(go);
}

// Lines per second reaching the log from `processes` processes of `threads`
// threads each, from the moment all are ready to the end of the last.
double writersRate(bool ours, int processes, int threads, const std::wstring& bareLog, const std::string& line)
{
    const HANDLE go = CreateEventW(nullptr, TRUE, FALSE, kWritersGo);
    const HANDLE ready = CreateSemaphoreW(nullptr, 0, 64, kWritersReady);
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring arguments = std::wstring(L"writers ") + (ours ? L"ours " : L"bare ") + std::to_wstring(threads) +
                                   L" " + std::to_wstring(kLinesPerThread) + L" \"" + bareLog + L"\" \"" +
                                   vr::test::widen(line.substr(0, line.size() - 2)) + L"\"";
    std::vector<vr::test::StartedProgram> children;
    std::thread inProcess;
    if (processes == 1)
        inProcess = std::thread(writeLines, ours, threads, kLinesPerThread, bareLog, line);
    else
        for (int p = 0; p < processes; ++p)
            children.push_back(vr::test::startProgram(self, arguments));
    for (int i = 0; i < processes * threads; ++i)
        WaitForSingleObject(ready, 60000);
    const auto start = std::chrono::steady_clock::now();
    SetEvent(go);
    if (inProcess.joinable())
        inProcess.join();
    for (const vr::test::StartedProgram& child : children)
        vr::test::waitForExitCode(child.process.get(), 120000);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    CloseHandle(ready);
    CloseHandle(go);
    return processes * threads * kLinesPerThread / seconds;
}

// Alternates runs of the two, as compare does with slices.
Rates compareWriters(int processes, int threads, const std::wstring& bareLog, const std::string& line)
{
    Rates rates{0, 0};
    constexpr int kRuns = 3;
    for (int run = 0; run < kRuns; ++run) {
        rates.ours += writersRate(true, processes, threads, bareLog, line) / kRuns;
        rates.baseline += writersRate(false, processes, threads, bareLog, line) / kRuns;
    }
    return rates;
}

// Lines per second of one step run alone for the benchmark's time.
template <class Step>
double rateOf(Step step)
{
    long long count = 0;
    double seconds = 0;
    while (seconds < kSeconds)
        runSlice(step, count, seconds);
    return static_cast<double>(count) / seconds;
}

void setDriverLogFile(const std::wstring& path)
{
    RegSetKeyValueW(HKEY_CURRENT_USER, VRC_SETTINGS_KEY, L"DriverLogFile", REG_SZ, path.c_str(),
                    static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
}

int dieHoldingTheSemaphore()
{
    HANDLE semaphore = CreateSemaphoreW(nullptr, 1, 1, L"Veranto 6.2_VRCCLN_LoggingSemaphore");
    if (semaphore == nullptr || WaitForSingleObject(semaphore, 10000) != WAIT_OBJECT_0)
        return 3;
    TerminateProcess(GetCurrentProcess(), 0);
    return 0;
}

std::wstring logFolder()
{
    wchar_t folder[MAX_PATH] = {};
    if (!VRC_GetLogsFolder(folder, MAX_PATH))
        VRC_GetUserDataFolder(folder, MAX_PATH);
    return folder;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "die") == 0)
        return dieHoldingTheSemaphore();
    if (argc == 7 && std::strcmp(argv[1], "writers") == 0) {
        writeLines(std::strcmp(argv[2], "ours") == 0, std::atoi(argv[3]), std::atoi(argv[4]), vr::test::widen(argv[5]),
                   std::string(argv[6]) + "\r\n");
        return 0;
    }
    // Both settings are put back when the benchmark ends.
    const vr::test::SavedValue driverLogFile(HKEY_CURRENT_USER, VRC_SETTINGS_KEY, L"DriverLogFile");
    const vr::test::SavedValue userPath(HKEY_LOCAL_MACHINE, VRC_SETTINGS_KEY, L"UserPath");
    vr::test::deleteSetting(HKEY_LOCAL_MACHINE, L"UserPath");
    vr::test::deleteSetting(HKEY_CURRENT_USER, L"DriverLogFile");
    const std::wstring folder = logFolder();
    const std::wstring debugLog = folder + L"\\VRCDBG62.LOG";
    const std::wstring bareInLogFolder = folder + L"\\trace_bench_bare.log";
    DeleteFileW(debugLog.c_str());

    // Entries of a function called again and again from level 1: folded into
    // one held line, no I/O.
    char processColumn[128];
    {
        char path[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, path, MAX_PATH);
        if (char* dot = std::strrchr(path, '.'))
            *dot = '\0';
        const char* slash = std::strrchr(path, '\\');
        std::snprintf(processColumn, sizeof processColumn, "%s %4lu %4lu", slash != nullptr ? slash + 1 : path,
                      GetCurrentProcessId(), GetCurrentThreadId());
    }
    volatile char sink = 0;
    const int outer = DBG_TRACE(__FILE__, __LINE__, 9, "BenchOuter");
    report("held entry", compare([] { RETURN(__FILE__, __LINE__, DBG_TRACE(__FILE__, __LINE__, 9, "BenchLevel2")); },
                                 [&] {
                                     SYSTEMTIME now;
                                     GetLocalTime(&now);
                                     char time[32];
                                     char header[512];
                                     std::snprintf(time, sizeof time, "%04d-%02d-%02d %02d:%02d:%02d.%03d", now.wYear,
                                                   now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                                                   now.wMilliseconds);
                                     std::snprintf(header, sizeof header, "%-7s %23s %-20s%25s%5d ", "VRCCLN", time,
                                                   processColumn, "trace_bench.cpp", __LINE__);
                                     sink = sink + header[40];
                                 }));
    RETURN(__FILE__, __LINE__, outer);

    // REL lines into a DriverLogFile of their own, against the same bytes
    // appended to a file in the same folder.
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring driverLog = std::wstring(temp) + L"trace_bench_driver.log";
    const std::wstring bareInTemp = std::wstring(temp) + L"trace_bench_bare.log";
    DeleteFileW(driverLog.c_str());
    RegSetKeyValueW(HKEY_CURRENT_USER, VRC_SETTINGS_KEY, L"DriverLogFile", REG_SZ, driverLog.c_str(),
                    static_cast<DWORD>((driverLog.size() + 1) * sizeof(wchar_t)));
    int sequence = 0;
    const auto relLine = [&] {
        DBG_Print(__FILE__, __LINE__, DBG_MASK_REL, DBG_Text("benchmark line %08d", ++sequence));
    };
    relLine();
    const std::string relText = lineOf(driverLog);
    const auto relFloor = [&] { appendBare(bareInTemp.c_str(), relText.data(), static_cast<DWORD>(relText.size())); };
    const int traced = DBG_TRACE(__FILE__, __LINE__, 9, "BenchRelLines");
    report("REL line in a traced function", compare(relLine, relFloor));
    RETURN(__FILE__, __LINE__, traced);
    // From a thread with no traced function active, a context is made and
    // released for every message.
    report("REL line outside traced functions", compare(relLine, relFloor));
    report("REL lines, 2 processes x 4 threads", compareWriters(2, 4, bareInTemp, relText));
    report("REL lines, 1 process x 8 threads", compareWriters(1, 8, bareInTemp, relText));

    // A log just past the limit whose backup another handle holds, against a
    // log below the limit; each slice first points DriverLogFile at its log.
    const std::wstring pastLimit = std::wstring(temp) + L"trace_bench_full.log";
    const std::wstring pastLimitBackup = std::wstring(temp) + L"trace_bench_full.BAK";
    DeleteFileW(pastLimit.c_str());
    vr::test::setFileSize(pastLimit, 100000001);
    vr::test::setFileSize(pastLimitBackup, 0);
    {
        const vr::UniqueHandle backup = vr::adoptFileHandle(
            CreateFileW(pastLimitBackup.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, 0, nullptr));
        const std::wstring* current = nullptr;
        const auto lineTo = [&](const std::wstring& log) {
            if (current != &log)
                setDriverLogFile(*(current = &log));
            relLine();
        };
        report("REL lines with the backup held", compare([&] { lineTo(pastLimit); }, [&] { lineTo(driverLog); }));
    }
    DeleteFileW(pastLimit.c_str());
    DeleteFileW(pastLimitBackup.c_str());

    // Lines outside traced functions before and after another process died
    // holding the logging semaphore, which this process keeps open.
    setDriverLogFile(driverLog);
    relLine();
    const double beforeDeath = rateOf(relLine);
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    vr::test::waitForExitCode(vr::test::startProgram(self, L"die").process.get(), 60000);
    report("REL lines after a holder died", {rateOf(relLine), beforeDeath});

    // Lines of a job's thread, which impersonates another user (the seam
    // reports one) whose own DriverLogFile names a log of its own, against the
    // same lines of the process's own thread: each slice first takes or drops
    // the thread's token.
    const std::wstring jobLog = std::wstring(temp) + L"trace_bench_job.log";
    DeleteFileW(jobLog.c_str());
    vr::test::setValue(HKEY_USERS, vr::test::otherUserKey(VRC_SETTINGS_KEY).c_str(), L"DriverLogFile", REG_SZ,
                       jobLog.c_str(), static_cast<DWORD>((jobLog.size() + 1) * sizeof(wchar_t)));
    vr::trace::setThreadUserLookup(vr::test::otherUserLookup);
    bool impersonating = false;
    const auto lineAs = [&](bool job) {
        if (impersonating != job)
            impersonating = job ? ImpersonateSelf(SecurityImpersonation) != FALSE : RevertToSelf() == FALSE;
        relLine();
    };
    report("REL lines on a thread impersonating another user", compare([&] { lineAs(true); }, [&] { lineAs(false); }));
    RevertToSelf();
    vr::trace::setThreadUserLookup(nullptr);
    vr::test::removeKey(HKEY_USERS, vr::test::otherUserKey().c_str());
    DeleteFileW(jobLog.c_str());
    DeleteFileW(driverLog.c_str());
    DeleteFileW(bareInTemp.c_str());
    vr::test::deleteSetting(HKEY_CURRENT_USER, L"DriverLogFile");

    // Debug log lines in the default folders: no UserPath, no DriverLogFile.
    const auto debugLine = [&] {
        DBG_Print(__FILE__, __LINE__, DBG_MASK_TO_LOG, DBG_Text("benchmark line %08d", ++sequence));
    };
    debugLine();
    const std::string debugText = lineOf(debugLog);
    const int logging = DBG_TRACE(__FILE__, __LINE__, 9, "BenchDebugLines");
    report("debug log line, default folders", compare(debugLine, [&] {
               appendBare(bareInLogFolder.c_str(), debugText.data(), static_cast<DWORD>(debugText.size()));
           }));
    RETURN(__FILE__, __LINE__, logging);
    DeleteFileW(debugLog.c_str());
    DeleteFileW(bareInLogFolder.c_str());
    return 0;
}
