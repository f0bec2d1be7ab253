#include "registry_state.h"

#include <sddl.h>

#include "platform/handles.h"

namespace vr::test {

void removeKey(HKEY hive, const wchar_t* path)
{
    RegDeleteTreeW(hive, path);
    RegDeleteKeyW(hive, path);
}

bool setValue(HKEY hive, const wchar_t* path, const wchar_t* name, DWORD type, const void* data, DWORD size)
{
    UniqueRegistryKey key;
    if (RegCreateKeyExW(hive, path, 0, nullptr, 0, KEY_WRITE, nullptr, put(key), nullptr) != ERROR_SUCCESS)
        return false;
    return RegSetValueExW(key.get(), name, 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
}

bool readValue(HKEY hive, const wchar_t* path, const wchar_t* name, DWORD* type, std::vector<BYTE>* data)
{
    UniqueRegistryKey key;
    if (RegOpenKeyExW(hive, path, 0, KEY_QUERY_VALUE, put(key)) != ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    if (RegQueryValueExW(key.get(), name, nullptr, type, nullptr, &size) != ERROR_SUCCESS)
        return false;
    data->assign(size, 0);
    return RegQueryValueExW(key.get(), name, nullptr, type, data->data(), &size) == ERROR_SUCCESS;
}

void deleteValue(HKEY hive, const wchar_t* path, const wchar_t* name) { RegDeleteKeyValueW(hive, path, name); }

bool setSettingDword(HKEY hive, const wchar_t* name, DWORD value)
{
    return setValue(hive, kSettingsKey, name, REG_DWORD, &value, sizeof value);
}

bool setSettingString(HKEY hive, const wchar_t* name, const std::wstring& text)
{
    return setValue(hive, kSettingsKey, name, REG_SZ, text.c_str(),
                    static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void deleteSetting(HKEY hive, const wchar_t* name) { deleteValue(hive, kSettingsKey, name); }

std::optional<DWORD> settingDword(HKEY hive, const wchar_t* name)
{
    DWORD value = 0, size = sizeof value;
    if (RegGetValueW(hive, kSettingsKey, name, RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return value;
}

SavedValue::SavedValue(HKEY hive, std::wstring path, std::wstring name)
    : hive_(hive), path_(std::move(path)), name_(std::move(name))
{
    existed_ = readValue(hive_, path_.c_str(), name_.c_str(), &type_, &data_);
}

SavedValue::~SavedValue()
{
    if (existed_)
        setValue(hive_, path_.c_str(), name_.c_str(), type_, data_.data(), static_cast<DWORD>(data_.size()));
    else
        deleteValue(hive_, path_.c_str(), name_.c_str());
}

SavedKey::SavedKey(HKEY hive, std::wstring path) : hive_(hive), path_(std::move(path))
{
    UniqueRegistryKey key;
    existed_ = RegOpenKeyExW(hive_, path_.c_str(), 0, KEY_READ, put(key)) == ERROR_SUCCESS;
    if (!existed_)
        return;
    for (DWORD index = 0;; ++index) {
        // 16,383 characters and the NUL: the longest value name the registry takes.
        std::wstring name(16384, L'\0');
        DWORD nameLength = static_cast<DWORD>(name.size()), type = 0, size = 0;
        if (RegEnumValueW(key.get(), index, name.data(), &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            break;
        name.resize(nameLength);
        Value value{name, type, std::vector<BYTE>(size)};
        RegQueryValueExW(key.get(), name.c_str(), nullptr, nullptr, value.data.data(), &size);
        values_.push_back(std::move(value));
    }
}

SavedKey::~SavedKey()
{
    removeKey(hive_, path_.c_str());
    if (!existed_)
        return;
    UniqueRegistryKey key;
    if (RegCreateKeyExW(hive_, path_.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, put(key), nullptr) != ERROR_SUCCESS)
        return;
    for (const Value& value : values_)
        RegSetValueExW(key.get(), value.name.c_str(), 0, value.type, value.data.data(),
                       static_cast<DWORD>(value.data.size()));
}

bool hasSetting(HKEY hive, const wchar_t* name)
{
    DWORD type = 0;
    std::vector<BYTE> data;
    return readValue(hive, kSettingsKey, name, &type, &data);
}

std::vector<BYTE> stringBytes(const std::wstring& text)
{
    const auto* first = reinterpret_cast<const BYTE*>(text.c_str());
    return {first, first + (text.size() + 1) * sizeof(wchar_t)};
}

namespace {

// The key above the settings key: VRC_SETTINGS_KEY without its last level.
std::wstring companyKey()
{
    std::wstring key = kSettingsKey;
    key.pop_back();  // the trailing backslash
    return key.substr(0, key.find_last_of(L'\\'));
}

}  // namespace

bool setEnvironment(const wchar_t* name, const std::wstring& text)
{
    return setValue(HKEY_LOCAL_MACHINE, kEnvironmentKey, name, REG_SZ, text.c_str(),
                    static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void removeEnvironment(const wchar_t* name) { deleteValue(HKEY_LOCAL_MACHINE, kEnvironmentKey, name); }

CleanSettings::CompanyKey::CompanyKey(HKEY hive) : hive(hive)
{
    UniqueRegistryKey key;
    existed = RegOpenKeyExW(hive, companyKey().c_str(), 0, KEY_READ, put(key)) == ERROR_SUCCESS;
}

CleanSettings::CompanyKey::~CompanyKey()
{
    if (!existed)
        RegDeleteKeyW(hive, companyKey().c_str());  // only when empty
}

CleanSettings::CleanSettings()
{
    removeKey(HKEY_LOCAL_MACHINE, kSettingsKey);
    removeKey(HKEY_CURRENT_USER, kSettingsKey);
    removeEnvironment(L"NVS_DATA_ROOT");
    removeEnvironment(L"NVS_DATA_LOGS");
}

ReadOnlyKey::ReadOnlyKey(HKEY hive, const wchar_t* path) : hive_(hive), path_(path)
{
    UniqueRegistryKey key;
    if (RegCreateKeyExW(hive_, path, 0, nullptr, 0, READ_CONTROL | WRITE_DAC, nullptr, put(key), nullptr) !=
        ERROR_SUCCESS)
        return;
    DWORD size = 0;
    RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, nullptr, &size);
    former_.assign(size, 0);
    if (RegGetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, former_.data(), &size) != ERROR_SUCCESS)
        return;
    PSECURITY_DESCRIPTOR readOnly = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;KR;;;WD)", SDDL_REVISION_1, &readOnly, nullptr))
        return;
    applied_ = RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, readOnly) == ERROR_SUCCESS;
    LocalFree(readOnly);
}

ReadOnlyKey::~ReadOnlyKey()
{
    if (!applied_)
        return;
    UniqueRegistryKey key;
    if (RegOpenKeyExW(hive_, path_.c_str(), 0, WRITE_DAC, put(key)) == ERROR_SUCCESS)
        RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, former_.data());
}

}  // namespace vr::test
