#include "kelvane_harness.h"

#include <winspool.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

std::string WindowsPath(const std::string& unixPath)
{
    std::string path = "Z:" + unixPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string KelvanePath() { return WindowsPath(VR_BIN_DIR "/Kelvane.exe"); }
std::string KelvaneFaultsPath() { return WindowsPath(VR_TEST_DIR "/KelvaneFaults.exe"); }
std::string SamplePackageDir() { return WindowsPath(KELVANE_SAMPLE_DIR "/"); }

namespace {

struct BoxSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindMessageBox(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<BoxSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char className[64] = {};
    GetClassNameA(window, className, sizeof className);
    if (owner == search->processId && std::string(className) == "#32770" && IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

KelvaneRun RunKelvane(const std::string& program, const std::string& tail, const std::string& folder,
                      const char* fault)
{
    KelvaneRun run;
    std::string commandLine = "\"" + program + "\"" + (tail.empty() ? "" : " " + tail);
    std::vector<char> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back('\0');
    SetEnvironmentVariableA("KELVANE_FAULT", fault);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessA(nullptr, mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                        folder.empty() ? nullptr : folder.c_str(), &startup, &process);
    SetEnvironmentVariableA("KELVANE_FAULT", nullptr);
    if (!started) return run;

    const ULONGLONG deadline = GetTickCount64() + 60000;
    while (WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT) {
        if (GetTickCount64() > deadline) {
            TerminateProcess(process.hProcess, 99);
            break;
        }
        BoxSearch search{process.dwProcessId, nullptr};
        EnumWindows(FindMessageBox, reinterpret_cast<LPARAM>(&search));
        if (search.found == nullptr) continue;
        MessageBoxSeen box;
        char text[2048] = {};
        GetWindowTextA(search.found, text, sizeof text);
        box.caption = text;
        text[0] = '\0';
        GetDlgItemTextA(search.found, 0xFFFF, text, sizeof text);
        box.text = text;
        run.boxes.push_back(box);
        PostMessageA(search.found, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(search.found, IDOK)));
        // Wait for this box to go before looking for the next one.
        while (IsWindow(search.found) && WaitForSingleObject(process.hProcess, 20) == WAIT_TIMEOUT &&
               GetTickCount64() < deadline) {
        }
    }
    WaitForSingleObject(process.hProcess, 5000);
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return run;
}

std::string UniqueName(const std::string& stem)
{
    static unsigned serial = 0;
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, "%lx%llx%u", GetCurrentProcessId(),
                  static_cast<unsigned long long>(GetTickCount64()), ++serial);
    return stem + suffix;
}

WorkFolder::WorkFolder()
{
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof temp, temp);
    path_ = std::string(temp) + UniqueName("kelvane") + "\\";
    CreateDirectoryA(path_.c_str(), nullptr);
}

WorkFolder::~WorkFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string WorkFolder::Write(const std::string& name, const std::string& bytes) const
{
    WriteFileBytes(path_ + name, bytes);
    return path_ + name;
}

std::string ReadFileBytes(const std::string& path)
{
    std::string bytes;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return bytes;
    char chunk[4096];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, got);
    std::fclose(file);
    return bytes;
}

void WriteFileBytes(const std::string& path, const std::string& bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return;
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

std::optional<InstalledDriver> FindInstalledDriver(const char* environment, const std::string& name)
{
    DWORD needed = 0;
    DWORD count = 0;
    EnumPrinterDriversA(nullptr, const_cast<char*>(environment), 3, nullptr, 0, &needed, &count);
    if (needed == 0) return std::nullopt;
    std::vector<BYTE> buffer(needed);
    if (!EnumPrinterDriversA(nullptr, const_cast<char*>(environment), 3, buffer.data(), needed, &needed, &count))
        return std::nullopt;
    const auto* drivers = reinterpret_cast<const DRIVER_INFO_3A*>(buffer.data());
    auto text = [](const char* value) { return std::string(value ? value : ""); };
    for (DWORD i = 0; i < count; ++i) {
        if (drivers[i].pName == nullptr || name != drivers[i].pName) continue;
        InstalledDriver driver;
        driver.cVersion = drivers[i].cVersion;
        driver.driverPath = text(drivers[i].pDriverPath);
        driver.dataFile = text(drivers[i].pDataFile);
        driver.configFile = text(drivers[i].pConfigFile);
        driver.helpFile = text(drivers[i].pHelpFile);
        driver.monitorName = text(drivers[i].pMonitorName);
        driver.defaultDataType = text(drivers[i].pDefaultDataType);
        for (const char* file = drivers[i].pDependentFiles; file && *file; file += std::strlen(file) + 1)
            driver.dependentFiles.push_back(file);
        return driver;
    }
    return std::nullopt;
}

std::string DriverDirectory(const char* environment)
{
    char directory[MAX_PATH] = {};
    DWORD needed = 0;
    GetPrinterDriverDirectoryA(nullptr, const_cast<char*>(environment), 1, reinterpret_cast<BYTE*>(directory),
                               sizeof directory, &needed);
    return std::string(directory) + "\\";
}

std::string BaseName(const std::string& path)
{
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
