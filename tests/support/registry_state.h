// Registry state for tests that change settings: values, keys and key
// security put back as they were when the test ends, both settings keys
// cleared for a test, and plain reads and writes of the settings key
// (VRC_SETTINGS_KEY, the one the runtime uses) under either hive.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "vrc_settings.h"

namespace vr::test {

inline constexpr const wchar_t* kSettingsKey = VRC_SETTINGS_KEY;

// One value of a key, put back at destruction (or removed when it did not exist).
class SavedValue {
public:
    SavedValue(HKEY hive, std::wstring path, std::wstring name);
    ~SavedValue();
    SavedValue(const SavedValue&) = delete;
    SavedValue& operator=(const SavedValue&) = delete;

private:
    HKEY hive_;
    std::wstring path_, name_;
    bool existed_ = false;
    DWORD type_ = 0;
    std::vector<BYTE> data_;
};

// Every value of a key; at destruction the key holds exactly those values
// again, or is removed when it did not exist. Subkeys are not kept.
class SavedKey {
public:
    SavedKey(HKEY hive, std::wstring path);
    ~SavedKey();
    SavedKey(const SavedKey&) = delete;
    SavedKey& operator=(const SavedKey&) = delete;

private:
    struct Value {
        std::wstring name;
        DWORD type;
        std::vector<BYTE> data;
    };
    HKEY hive_;
    std::wstring path_;
    bool existed_ = false;
    std::vector<Value> values_;
};

void removeKey(HKEY hive, const wchar_t* path);
// Creates the key when needed; false when the value could not be stored.
bool setValue(HKEY hive, const wchar_t* path, const wchar_t* name, DWORD type, const void* data, DWORD size);
// The stored type and bytes of a value; false when it cannot be read.
bool readValue(HKEY hive, const wchar_t* path, const wchar_t* name, DWORD* type, std::vector<BYTE>* data);
void deleteValue(HKEY hive, const wchar_t* path, const wchar_t* name);

// In the settings key of the hive.
bool setSettingDword(HKEY hive, const wchar_t* name, DWORD value);
bool setSettingString(HKEY hive, const wchar_t* name, const std::wstring& text);  // REG_SZ with its NUL
void deleteSetting(HKEY hive, const wchar_t* name);
std::optional<DWORD> settingDword(HKEY hive, const wchar_t* name);  // empty unless a REG_DWORD is stored
bool hasSetting(HKEY hive, const wchar_t* name);
// The bytes of a REG_SZ value holding text, with its NUL.
std::vector<BYTE> stringBytes(const std::wstring& text);

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

bool setEnvironment(const wchar_t* name, const std::wstring& text);  // machine environment value
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

}  // namespace vr::test
