// Second process of the cross-process tracing tests.
//   trace_helper hold <ms>          takes the logging semaphore, signals
//                                   "trace_helper_ready", keeps it <ms>, gives it back;
//                                   exit 0 when giving it back succeeded
//   trace_helper load <threads> <n> waits for "trace_load_go", then traces from
//                                   <threads> threads, <n> rounds each
//   trace_helper lines <threads> <n> <tag>
//                                   the same with REL lines only, two a round
//                                   (inside a traced function, then outside),
//                                   "line <tag> <thread> <round> <in|out> END"
//   trace_helper exit <threads>     traces REL lines from <threads> threads without
//                                   end and exits while they do; they trace
//                                   through trace_exit_library, which traces
//                                   "at exit" as the process shuts down
//   trace_helper lock <ms> <path>   holds the file open without sharing,
//                                   signals "trace_helper_ready", keeps it <ms>
//   trace_helper die                takes the logging semaphore and ends
//                                   itself without giving it back
//   trace_helper released           traces after the runtime gave back what an
//                                   unload gives back; exits with the number of
//                                   log path resolutions that made, or 100 when
//                                   a line that could not be written took memory
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/handles.h"
#include "trace/log_paths.h"
#include "trace/module_lifetime.h"
#include "trace/tracer_seams.h"
#include "vrcommon.h"

namespace {

HANDLE takeLoggingSemaphore()
{
    HANDLE semaphore = CreateSemaphoreW(nullptr, 1, 1, L"Veranto 6.2_VRCCLN_LoggingSemaphore");
    return semaphore != nullptr && WaitForSingleObject(semaphore, 10000) == WAIT_OBJECT_0 ? semaphore : nullptr;
}

int die()
{
    if (takeLoggingSemaphore() == nullptr)
        return 3;
    TerminateProcess(GetCurrentProcess(), 0);
    return 0;
}

// The bytes the process's heaps have handed out.
std::size_t heapBytesInUse()
{
    HANDLE heaps[64];
    const DWORD count = GetProcessHeaps(64, heaps);
    std::size_t bytes = 0;
    for (DWORD i = 0; i < count && i < 64; ++i) {
        HeapLock(heaps[i]);
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heaps[i], &entry))
            if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0)
                bytes += entry.cbData;
        HeapUnlock(heaps[i]);
    }
    return bytes;
}

// The driver log's path is kept from the first line; the debug log's never
// is. Lines that cannot be written then are lost, not kept: nothing would
// give back what keeping them takes.
int traceAfterRelease()
{
    DBG_Print(__FILE__, __LINE__, DBG_MASK_REL, DBG_Text("before release"));
    vr::trace::releaseRuntime();
    const unsigned long before = vr::trace::logPathResolutions();
    vr::trace::setLogWrite([](HANDLE, const void*, DWORD, DWORD*) {
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    });
    const std::size_t inUse = heapBytesInUse();
    DBG_Print(__FILE__, __LINE__, DBG_MASK_REL, DBG_Text("lost after release"));
    if (heapBytesInUse() > inUse + 4096)
        return 100;
    vr::trace::setLogWrite(nullptr);
    DBG_Print(__FILE__, __LINE__, DBG_MASK_REL, DBG_Text("after release"));
    DBG_Print(__FILE__, __LINE__, DBG_MASK_TO_LOG, DBG_Text("debug log after release"));
    return static_cast<int>(vr::trace::logPathResolutions() - before);
}

int hold(DWORD milliseconds)
{
    HANDLE semaphore = takeLoggingSemaphore();
    if (semaphore == nullptr)
        return 3;
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, L"trace_helper_ready");
    SetEvent(ready);
    Sleep(milliseconds);
    const bool released = ReleaseSemaphore(semaphore, 1, nullptr) != 0;
    CloseHandle(ready);
    CloseHandle(semaphore);
    return released ? 0 : 2;
}

void worker(int thread, int rounds)
{
    const std::string payload(80, 'p');
    for (int i = 0; i < rounds; ++i) {
        const int trace = DBG_TRACE(__FILE__, __LINE__, 9, "Worker");
        DBG_Trc(__FILE__, __LINE__, trace, DBG_Text("load %d %d %s END", thread, i, payload.c_str()));
        DBG_Print(__FILE__, __LINE__, DBG_MASK_DEBUG_LOG, DBG_Text("load %d %d %s END", thread, i, payload.c_str()));
        DBG_Print(__FILE__, __LINE__, DBG_MASK_REL, DBG_Text("load %d %d %s END", thread, i, payload.c_str()));
        RETURN(__FILE__, __LINE__, trace);
    }
}

void releaseLines(const char* tag, int thread, int rounds)
{
    for (int i = 0; i < rounds; ++i) {
        const int trace = DBG_TRACE(__FILE__, __LINE__, 9, "Lines");
        DBG_Print(__FILE__, __LINE__, DBG_MASK_REL, DBG_Text("line %s %d %d in END", tag, thread, i));
        RETURN(__FILE__, __LINE__, trace);
        DBG_Print(__FILE__, __LINE__, DBG_MASK_REL, DBG_Text("line %s %d %d out END", tag, thread, i));
    }
}

int lock(DWORD milliseconds, const char* path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 3;
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, L"trace_helper_ready");
    SetEvent(ready);
    Sleep(milliseconds);
    CloseHandle(file);
    CloseHandle(ready);
    return 0;
}

int exitWhileTracing(int threads)
{
    // Loaded for the rest of the process: its detach is what is tested.
    const auto traceWithoutEnd = vr::bind<void (*)(int)>(LoadLibraryW(L"trace_exit_library.dll"), "traceWithoutEnd");
    if (traceWithoutEnd == nullptr)
        return 3;
    for (int t = 0; t < threads; ++t)
        std::thread(traceWithoutEnd, t).detach();
    Sleep(300);
    ExitProcess(0);
}

template <class Work>
int load(int threads, Work work)
{
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, L"trace_load_go");
    WaitForSingleObject(go, 30000);
    CloseHandle(go);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back(work, t);
    for (std::thread& w : workers)
        w.join();
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "hold") == 0)
        return hold(static_cast<DWORD>(std::atoi(argv[2])));
    if (argc == 4 && std::strcmp(argv[1], "load") == 0)
        return load(std::atoi(argv[2]), [rounds = std::atoi(argv[3])](int t) { worker(t, rounds); });
    if (argc == 5 && std::strcmp(argv[1], "lines") == 0)
        return load(std::atoi(argv[2]),
                    [rounds = std::atoi(argv[3]), tag = argv[4]](int t) { releaseLines(tag, t, rounds); });
    if (argc == 3 && std::strcmp(argv[1], "exit") == 0)
        return exitWhileTracing(std::atoi(argv[2]));
    if (argc == 2 && std::strcmp(argv[1], "die") == 0)
        return die();
    if (argc == 2 && std::strcmp(argv[1], "released") == 0)
        return traceAfterRelease();
    if (argc == 4 && std::strcmp(argv[1], "lock") == 0)
        return lock(static_cast<DWORD>(std::atoi(argv[2])), argv[3]);
    return 1;
}
