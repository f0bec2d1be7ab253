// A component DLL that a host loads and unloads: RunThreads starts threads
// and waits for them. Built twice, both linking the runtime: traced, whose
// threads trace (one leaves its function without returning, so that its
// context is still listed at the unload), and the control, whose threads
// only run.
#include <windows.h>

#if defined(VR_TRACED) || defined(VR_LINKED)
#include "vrcommon.h"
#endif

namespace {

constexpr int kThreads = 4;
constexpr int kLines = 4;

DWORD WINAPI work([[maybe_unused]] void* parameter)
{
#ifdef VR_TRACED
    const int index = static_cast<int>(reinterpret_cast<INT_PTR>(parameter));
    const int entry = DBG_TRACE(__FILE__, __LINE__, 9, "UnloadWorker");
    for (int i = 0; i < kLines; ++i)
        DBG_Print(__FILE__, __LINE__, DBG_MASK_REL | DBG_MASK_TO_LOG, DBG_Text("thread %d line %d", index, i));
    if (index != 0)
        RETURN(__FILE__, __LINE__, entry);
    DBG_Print(__FILE__, __LINE__, DBG_MASK_TO_LOG, DBG_Text("thread %d done", index));
#endif
    return 0;
}

}  // namespace

extern "C" __declspec(dllexport) int RunThreads()
{
#ifdef VR_LINKED
    static void (*volatile keep)(const char*, int, uint32_t, const char*) = DBG_Print;
    (void)keep;
#endif
    HANDLE threads[kThreads] = {};
    int started = 0;
    for (int i = 0; i < kThreads; ++i)
        if ((threads[started] = CreateThread(nullptr, 0, work, reinterpret_cast<void*>(INT_PTR{i}), 0, nullptr)))
            ++started;
    WaitForMultipleObjects(static_cast<DWORD>(started), threads, TRUE, INFINITE);
    for (int i = 0; i < started; ++i)
        CloseHandle(threads[i]);
    return started;
}
