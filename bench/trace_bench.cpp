// Tracer throughput, one line per comparison:
//   <name>: <ours>/s vs <baseline>/s, ratio <x.xx>
// REL lines open, append to and close the driver log for every line; the floor
// of that design is a bare loop doing just that with a line of the same length.
// Entries of nested traced functions are held in memory, but every tracing call
// finds its context under the named logging semaphore, so they are set against
// bare round trips of such a semaphore (open, wait, release, close).
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "vrcommon.h"

namespace {

constexpr double SECONDS = 2.0;
constexpr const wchar_t* SETTINGS_KEY = L"SOFTWARE\\Norvessa Corporation\\Veranto 6.2";

template <class Step>
double perSecond(Step step)
{
    using clock = std::chrono::steady_clock;
    const auto start = clock::now();
    long long count = 0;
    double elapsed = 0;
    do {
        for (int i = 0; i < 64; ++i)
            step();
        count += 64;
        elapsed = std::chrono::duration<double>(clock::now() - start).count();
    } while (elapsed < SECONDS);
    return static_cast<double>(count) / elapsed;
}

void report(const char* name, double ours, double baseline)
{
    std::printf("%s: %.0f/s vs %.0f/s, ratio %.2f\n", name, ours, baseline, ours / baseline);
}

void appendBare(const wchar_t* path, const char* line, DWORD length)
{
    HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_FLAG_RANDOM_ACCESS,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    SetFilePointer(file, 0, nullptr, FILE_END);
    DWORD written = 0;
    WriteFile(file, line, length, &written, nullptr);
    CloseHandle(file);
}

void semaphoreRoundTrip()
{
    HANDLE semaphore = CreateSemaphoreW(nullptr, 1, 1, L"Veranto 6.2_trace_bench_Semaphore");
    WaitForSingleObject(semaphore, 5000);
    ReleaseSemaphore(semaphore, 1, nullptr);
    CloseHandle(semaphore);
}

}  // namespace

int main()
{
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    const std::wstring ours = std::wstring(folder) + L"trace_bench_driver.log";
    const std::wstring bare = std::wstring(folder) + L"trace_bench_bare.log";
    DeleteFileW(ours.c_str());
    DeleteFileW(bare.c_str());
    RegSetKeyValueW(HKEY_CURRENT_USER, SETTINGS_KEY, L"DriverLogFile", REG_SZ, ours.c_str(),
                    static_cast<DWORD>((ours.size() + 1) * sizeof(wchar_t)));

    int sequence = 0;
    const double relLines = perSecond([&] {
        DBG_Print(__FILE__, __LINE__, DBG_MASK_REL, DBG_Text("benchmark line %08d", ++sequence));
    });
    // The same bytes as one of the lines just written.
    char line[512];
    {
        FILE* written = _wfopen(ours.c_str(), L"rb");
        const bool read = written != nullptr && std::fgets(line, sizeof line, written) != nullptr;
        if (written != nullptr)
            std::fclose(written);
        if (!read)
            std::snprintf(line, sizeof line, "%0130d\r\n", 0);
    }
    const DWORD length = static_cast<DWORD>(std::strlen(line));
    const double bareLines = perSecond([&] { appendBare(bare.c_str(), line, length); });
    report("REL trace lines (open, append, close per line)", relLines, bareLines);

    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, SETTINGS_KEY, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, L"DriverLogFile");
        RegCloseKey(key);
    }
    DeleteFileW(ours.c_str());
    DeleteFileW(bare.c_str());

    // Functions called again and again from level 1 and from level 2: their
    // entries fold into held lines, written when a different entry comes.
    const int outer = DBG_TRACE(__FILE__, __LINE__, 9, "BenchOuter");
    const double level2Entries = perSecond([] {
        RETURN(__FILE__, __LINE__, DBG_TRACE(__FILE__, __LINE__, 9, "BenchLevel2"));
    });
    const int middle = DBG_TRACE(__FILE__, __LINE__, 9, "BenchMiddle");
    const double level3Entries = perSecond([] {
        RETURN(__FILE__, __LINE__, DBG_TRACE(__FILE__, __LINE__, 9, "BenchLevel3"));
    });
    RETURN(__FILE__, __LINE__, middle);
    RETURN(__FILE__, __LINE__, outer);
    // Each entry (DBG_TRACE and its RETURN) takes the lock twice: the bare
    // round trip is the unit it is measured against.
    const double lockRoundTrips = perSecond(semaphoreRoundTrip);
    report("traced function entries at level 2 (held, no I/O) vs semaphore round trips", level2Entries,
           lockRoundTrips);
    report("traced function entries at level 3 (held, no I/O) vs semaphore round trips", level3Entries,
           lockRoundTrips);
    return 0;
}
