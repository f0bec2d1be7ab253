#include <windows.h>

#include "core/kelvane_core.h"
#include "platform/system_library.h"
#include "platform_seams.h"
#include "run_log.h"

// The program runs no message loop; the quit message only mirrors the exit code.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLineTail, int)
{
    // Before anything loads a DLL: the folder of a downloaded package is no
    // place to take one from.
    vr::platform::restrictDllSearchToSystemFolder();
    // Run as SYSTEM by a deployment tool, nobody sees a box, and a box that
    // is never answered never returns: such a run is silent, as with /s.
    if (!WindowStationVisible())
        SilentMode = 1;
    const int exitCode = RunKelvane(commandLineTail);
    AppendRunLogExitCode(exitCode);
    PostQuitMessage(exitCode);
    return exitCode;
}
