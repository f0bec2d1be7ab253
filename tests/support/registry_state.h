// Registry state for tests that change settings: values and keys put back as
// they were when the test ends, and plain reads and writes of the settings key
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

}  // namespace vr::test
