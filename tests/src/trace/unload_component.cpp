// A component a host loads and unloads. Both builds link the runtime; only
// the traced one traces from its threads, one of which leaves its function
// unreturned so that its context is still listed at the unload, and takes
// the logging semaphore, whose handle the runtime keeps open until then.
#include <windows.h>

#include "vrcommon.h"

static DWORD WINAPI work(void* parameter)
{
#ifdef VR_TRACED
    const int entry = DBG_TRACE(__FILE__, __LINE__, 9, "Worker");
    for (int i = 0; i < 4; ++i)
        DBG_Print(__FILE__, __LINE__, DBG_MASK_REL | DBG_MASK_TO_LOG, DBG_Text("line %d", i));
    if (parameter != nullptr)
        RETURN(__FILE__, __LINE__, entry);
#else
    static void (*volatile linked)(const char*, int, uint32_t, const char*) = DBG_Print;
    (void)linked, (void)parameter;
#endif
    return 0;
}

extern "C" __declspec(dllexport) void RunThreads()
{
    HANDLE threads[4];
    for (INT_PTR i = 0; i < 4; ++i)
        threads[i] = CreateThread(nullptr, 0, work, reinterpret_cast<void*>(i), 0, nullptr);
    WaitForMultipleObjects(4, threads, TRUE, INFINITE);
    for (HANDLE thread : threads)
        CloseHandle(thread);
#ifdef VR_TRACED
    if (HANDLE semaphore = DBG_Lock())
        DBG_Unlock(semaphore);
#endif
}
