// Every message of the installer goes through these two, and silent mode
// leaves only the exit code.
#include <windows.h>

#include "core/kelvane_core.h"

extern "C" void ShowError(const char* text)
{
    if (SilentMode) return;
    MessageBoxA(GetForegroundWindow(), text, nullptr, MB_OK);
}

extern "C" void ShowInfo(const char* text, const char* caption)
{
    if (SilentMode) return;
    MessageBoxA(GetForegroundWindow(), text, caption, MB_OK);
}
