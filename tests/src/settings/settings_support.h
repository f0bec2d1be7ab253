// Helpers of the settings and folder tests: registry state that is put back
// after each test, a real printer in the test prefix, a scratch folder, and
// the driver log redirected to a file the test reads.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace vrtest {

inline constexpr const wchar_t* kSettingsKey = L"SOFTWARE\\Norvessa Corporation\\Veranto 6.2\\";
inline constexpr const wchar_t* kEnvironmentKey = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

// Every value of a key at construction; at destruction the key holds exactly
// those values again (or is removed when it did not exist).
class KeySnapshot {
public:
    KeySnapshot(HKEY hive, std::wstring path);
    ~KeySnapshot();
    KeySnapshot(const KeySnapshot&) = delete;
    KeySnapshot& operator=(const KeySnapshot&) = delete;

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

// One value of a key, put back at destruction.
class ValueSnapshot {
public:
    ValueSnapshot(HKEY hive, std::wstring path, std::wstring name);
    ~ValueSnapshot();
    ValueSnapshot(const ValueSnapshot&) = delete;
    ValueSnapshot& operator=(const ValueSnapshot&) = delete;

private:
    HKEY hive_;
    std::wstring path_, name_;
    bool existed_ = false;
    DWORD type_ = 0;
    std::vector<BYTE> data_;
};

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
    KeySnapshot machine_{HKEY_LOCAL_MACHINE, kSettingsKey};
    KeySnapshot user_{HKEY_CURRENT_USER, kSettingsKey};
    ValueSnapshot dataRoot_{HKEY_LOCAL_MACHINE, kEnvironmentKey, L"NVS_DATA_ROOT"};
    ValueSnapshot dataLogs_{HKEY_LOCAL_MACHINE, kEnvironmentKey, L"NVS_DATA_LOGS"};
};

void removeKey(HKEY hive, const wchar_t* path);
void setValue(HKEY hive, const wchar_t* path, const wchar_t* name, DWORD type, const void* data, DWORD size);
void setDword(HKEY hive, const wchar_t* name, DWORD value);             // in the settings key
void setString(HKEY hive, const wchar_t* name, const std::wstring& text);  // in the settings key, REG_SZ
void setEnvironment(const wchar_t* name, const std::wstring& text);     // machine environment value
void removeEnvironment(const wchar_t* name);
// The stored type and bytes of a value; false when it cannot be read.
bool readValue(HKEY hive, const wchar_t* path, const wchar_t* name, DWORD* type, std::vector<BYTE>* data);

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

// A fresh folder under the temporary folder, removed with its content at destruction.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
};

void removeTree(const std::wstring& path);
bool folderExists(const std::wstring& path);

// Points the user setting DriverLogFile at a scratch file; text() is what the
// driver log received since.
class DriverLogCapture {
public:
    DriverLogCapture();
    std::string text() const;

private:
    ScratchFolder folder_;
    std::wstring file_;
};

// A printer of this test prefix, made on first use, removed when the test
// program ends.
const wchar_t* testPrinterName();
// Its printer data as stored by the spooler.
std::wstring printerDataKey();

}  // namespace vrtest
