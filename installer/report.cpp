// Every message of the installer goes through these two: silent mode shows
// none, and the run log (when asked for) records each one either way.
#include <windows.h>

#include "core/kelvane_core.h"
#include "run_log.h"

namespace {

// The title Windows gives a message box that is shown without one.
constexpr char kDefaultCaption[] = "Error";

}  // namespace

extern "C" void ShowError(const char* text)
{
    AppendRunLogMessage(kDefaultCaption, text);
    if (SilentMode)
        return;
    MessageBoxA(GetForegroundWindow(), text, nullptr, MB_OK);
}

extern "C" void ShowInfo(const char* text, const char* caption)
{
    AppendRunLogMessage(caption, text);
    if (SilentMode)
        return;
    MessageBoxA(GetForegroundWindow(), text, caption, MB_OK);
}
