// Shared by the system-object tests and their helper program: Windows forms of
// the build's paths, starting the helper, and saving and restoring settings.
#pragma once

#include <windows.h>

#include <string>

namespace systest {

// The build passes Linux paths; under Wine the same files are on drive Z:.
inline std::wstring windowsPath(const char* unixPath)
{
    std::wstring path = L"Z:";
    for (const char* p = unixPath; *p != '\0'; ++p)
        path.push_back(*p == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*p)));
    return path;
}

// ASCII text for test messages.
inline std::string narrow(const wchar_t* text)
{
    std::string result;
    for (; *text != L'\0'; ++text)
        result.push_back(*text < 0x80 ? static_cast<char>(*text) : '?');
    return result;
}

inline std::wstring helperPath(const wchar_t* program = L"system_helper.exe")
{
    return windowsPath(VR_TEST_DIR) + L"\\" + program;
}

// Starts a program with the command line "<program> <arguments>"; returns the
// process handle (the caller closes it), or null.
inline HANDLE start(const std::wstring& program, const std::wstring& arguments, DWORD flags = 0)
{
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, flags,
                        nullptr, nullptr, &startup, &process))
        return nullptr;
    CloseHandle(process.hThread);
    return process.hProcess;
}

// Runs a program to its end; its exit code, or -1 when it did not start or end.
inline long run(const std::wstring& program, const std::wstring& arguments, DWORD timeoutMs = 30000)
{
    HANDLE process = start(program, arguments);
    if (process == nullptr)
        return -1;
    long result = -1;
    DWORD code = 0;
    if (WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0 && GetExitCodeProcess(process, &code))
        result = static_cast<long>(code);
    CloseHandle(process);
    return result;
}

inline long runHelper(const std::wstring& arguments) { return run(helperPath(), arguments); }

inline constexpr wchar_t kSettingsKey[] = L"SOFTWARE\\Norvessa Corporation\\Veranto 6.2\\";

// Puts a registry value back as it was (or removes it) when the test ends.
class SavedValue {
public:
    SavedValue(HKEY hive, const wchar_t* key, const wchar_t* name) : hive_(hive), key_(key), name_(name)
    {
        HKEY opened = nullptr;
        if (RegOpenKeyExW(hive_, key_.c_str(), 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS)
            return;
        DWORD size = 0;
        if (RegQueryValueExW(opened, name_.c_str(), nullptr, &type_, nullptr, &size) == ERROR_SUCCESS) {
            data_.resize(size);
            existed_ = RegQueryValueExW(opened, name_.c_str(), nullptr, &type_,
                                        reinterpret_cast<BYTE*>(data_.data()), &size) == ERROR_SUCCESS;
        }
        RegCloseKey(opened);
    }
    ~SavedValue()
    {
        HKEY opened = nullptr;
        if (RegCreateKeyExW(hive_, key_.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &opened, nullptr) !=
            ERROR_SUCCESS)
            return;
        if (existed_)
            RegSetValueExW(opened, name_.c_str(), 0, type_, reinterpret_cast<const BYTE*>(data_.data()),
                           static_cast<DWORD>(data_.size()));
        else
            RegDeleteValueW(opened, name_.c_str());
        RegCloseKey(opened);
    }
    SavedValue(const SavedValue&) = delete;
    SavedValue& operator=(const SavedValue&) = delete;

private:
    HKEY hive_;
    std::wstring key_, name_;
    DWORD type_ = 0;
    std::string data_;
    bool existed_ = false;
};

inline void setMachineDword(const wchar_t* name, DWORD value)
{
    HKEY opened = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0, KEY_WRITE, nullptr, &opened,
                        nullptr) == ERROR_SUCCESS) {
        RegSetValueExW(opened, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
        RegCloseKey(opened);
    }
}

inline void setMachineString(const wchar_t* name, const std::wstring& value)
{
    HKEY opened = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0, KEY_WRITE, nullptr, &opened,
                        nullptr) == ERROR_SUCCESS) {
        RegSetValueExW(opened, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(opened);
    }
}

inline void deleteMachineValue(const wchar_t* name)
{
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_SET_VALUE, &opened) == ERROR_SUCCESS) {
        RegDeleteValueW(opened, name);
        RegCloseKey(opened);
    }
}

// Reads a DWORD of the machine settings; -1 when absent.
inline long machineDword(const wchar_t* name)
{
    DWORD value = 0, size = sizeof(value), type = 0;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kSettingsKey, name, RRF_RT_REG_DWORD, &type, &value, &size) !=
        ERROR_SUCCESS)
        return -1;
    return static_cast<long>(value);
}

// Distinct CJK characters: no chunk of one text matches another chunk, in
// any case, of any text made with another seed.
inline std::wstring sampleText(std::size_t length, unsigned seed)
{
    std::wstring text;
    for (std::size_t i = 0; i < length; ++i)
        text.push_back(static_cast<wchar_t>(0x4E00 + seed * 2500 + i));
    return text;
}

}  // namespace systest
