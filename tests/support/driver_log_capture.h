// The driver log of this process routed into a scratch file the test reads:
// the user setting DriverLogFile points there until the capture ends.
#pragma once

#include <string>

#include "registry_state.h"
#include "scratch_folder.h"

namespace vr::test {

class DriverLogCapture {
public:
    DriverLogCapture();
    // What the driver log received since the capture began.
    std::string text() const;

private:
    SavedValue setting_{HKEY_CURRENT_USER, kSettingsKey, L"DriverLogFile"};
    ScratchFolder folder_{"vrdriverlog"};
    std::wstring file_;
};

}  // namespace vr::test
