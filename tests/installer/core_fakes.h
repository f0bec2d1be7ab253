// Stand-ins for what the program links around Kelvane's core: message boxes
// become a recorded list, allocations can be made to fail, and the
// installation step is a recorder.
#pragma once

#include <string>
#include <vector>

#include "core/kelvane_core.h"

struct ShownMessage {
    std::string text;
    std::string caption;  // empty for ShowError
    bool silent;  // SilentMode when it was shown
};

struct CoreFakes {
    std::vector<ShownMessage> shown;
    bool failFirstAllocation = false;
    int growthsBeforeFailure = -1;  // -1: never fail
    int growths = 0;
    int installCalls = 0;
    int installResult = 1;
    std::string installedPlatform;
    std::vector<std::string> installedDependentFiles;

    // Texts of the messages shown, in order.
    std::vector<std::string> Texts() const;
};

extern CoreFakes gFakes;

// Clears the recorders and the process-wide flags of the command line.
void ResetCore();
