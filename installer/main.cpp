#include <windows.h>

#include "core/kelvane_core.h"
#include "run_log.h"

// The program runs no message loop; the quit message only mirrors the exit code.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLineTail, int)
{
    const int exitCode = RunKelvane(commandLineTail);
    AppendRunLogExitCode(exitCode);
    PostQuitMessage(exitCode);
    return exitCode;
}
