// A library that traces through its own copy of the runtime, for the tests of
// a process that exits while its threads trace: its threads trace through the
// library, and the library traces "at exit" as the process shuts down.
#include <windows.h>

#include "vrcommon.h"

// Traces REL lines from inside a traced function until the process ends.
extern "C" __declspec(dllexport) void traceWithoutEnd(int thread)
{
    DBG_TRACE(__FILE__, __LINE__, 9, "WithoutEnd");
    for (int i = 0;; ++i)
        DBG_Print(__FILE__, __LINE__, DBG_MASK_REL, DBG_Text("busy %d %d END", thread, i));
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved)
{
    // With `reserved` set, the process is exiting and its other threads are gone.
    if (reason == DLL_PROCESS_DETACH && reserved != nullptr)
        for (int i = 0; i < 10; ++i)
            DBG_Print(__FILE__, __LINE__, DBG_MASK_REL, DBG_Text("at exit"));
    return TRUE;
}
