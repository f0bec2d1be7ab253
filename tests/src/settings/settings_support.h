// Helpers of the settings and folder tests: both settings keys and the data
// folder variables cleared for each test and put back after it, read-only
// keys, and a real printer in the test prefix.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "driver_log_capture.h"
#include "registry_state.h"
#include "scratch_folder.h"

namespace vr::test {

inline constexpr const wchar_t* kEnvironmentKey = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

// The settings keys of both hives and the two machine environment values,
// restored when the test ends; each test starts with neither settings key.
class CleanSettings {
public:
    CleanSettings();

private:
    // The company key above the settings keys goes again if the test made it.
    struct CompanyKey {
        CompanyKey(HKEY hive);
        ~CompanyKey();
        HKEY hive;
        bool existed;
    };
    CompanyKey machineCompany_{HKEY_LOCAL_MACHINE};
    CompanyKey userCompany_{HKEY_CURRENT_USER};
    SavedKey machine_{HKEY_LOCAL_MACHINE, kSettingsKey};
    SavedKey user_{HKEY_CURRENT_USER, kSettingsKey};
    SavedValue dataRoot_{HKEY_LOCAL_MACHINE, kEnvironmentKey, L"NVS_DATA_ROOT"};
    SavedValue dataLogs_{HKEY_LOCAL_MACHINE, kEnvironmentKey, L"NVS_DATA_LOGS"};
};

void setEnvironment(const wchar_t* name, const std::wstring& text);  // machine environment value
void removeEnvironment(const wchar_t* name);

// Makes a key read-only for everyone until destruction, when its former
// security returns.
class ReadOnlyKey {
public:
    ReadOnlyKey(HKEY hive, const wchar_t* path);
    ~ReadOnlyKey();
    ReadOnlyKey(const ReadOnlyKey&) = delete;
    ReadOnlyKey& operator=(const ReadOnlyKey&) = delete;
    bool applied() const { return applied_; }

private:
    HKEY hive_;
    std::wstring path_;
    std::vector<BYTE> former_;
    bool applied_ = false;
};

// A printer of this test prefix, made on first use, removed when the test
// program ends.
const wchar_t* testPrinterName();
// Its printer data as stored by the spooler.
std::wstring printerDataKey();

}  // namespace vr::test
