// A library that traces through its own copy of the runtime, for the tests of
// a process that exits while its threads trace: its threads' lines go through
// the library, and the library traces "at exit" as the process shuts down.
#include <windows.h>

#include "vrcommon.h"

extern "C" __declspec(dllexport) void traceReleaseLine(const char* text)
{
    DBG_Print(__FILE__, __LINE__, DBG_MASK_REL, DBG_Text("%s", text));
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved)
{
    // With `reserved` set, the process is exiting and its other threads are gone.
    if (reason == DLL_PROCESS_DETACH && reserved != nullptr)
        traceReleaseLine("at exit");
    return TRUE;
}
