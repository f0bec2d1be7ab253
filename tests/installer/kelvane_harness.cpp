#include "kelvane_harness.h"

#include <winspool.h>

#include <cstring>
#include <regex>
#include <sstream>

#include "child_program.h"
#include "text.h"

namespace vr::test {

std::string kelvanePath() { return narrowWindowsPath(VR_BIN_DIR "/Kelvane.exe"); }
std::string kelvaneFaultsPath() { return narrowWindowsPath(VR_TEST_DIR "/KelvaneFaults.exe"); }
std::string samplePackageDir() { return narrowWindowsPath(KELVANE_SAMPLE_DIR "/"); }

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

KelvaneRun startKelvaneAndAnswerBoxes(const std::string& program, const std::string& tail, const std::string& folder,
                                      const char* fault)
{
    KelvaneRun run;
    // The child takes the variable over; it is gone again for the next start.
    SetEnvironmentVariableA("KELVANE_FAULT", fault);
    const std::wstring workingFolder = widen(folder);
    const StartedProgram started =
        startProgram(widen(program), widen(tail), {.workingFolder = folder.empty() ? nullptr : workingFolder.c_str()});
    SetEnvironmentVariableA("KELVANE_FAULT", nullptr);
    if (!started.process)
        return run;
    const HANDLE process = started.process.get();

    const ULONGLONG deadline = GetTickCount64() + 60000;
    while (WaitForSingleObject(process, 50) == WAIT_TIMEOUT) {
        if (GetTickCount64() > deadline) {
            TerminateProcess(process, 99);
            break;
        }
        BoxSearch search{started.processId, nullptr};
        EnumWindows(FindMessageBox, reinterpret_cast<LPARAM>(&search));
        if (search.found == nullptr)
            continue;
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
        while (IsWindow(search.found) && WaitForSingleObject(process, 20) == WAIT_TIMEOUT &&
               GetTickCount64() < deadline) {
        }
    }
    WaitForSingleObject(process, 5000);
    GetExitCodeProcess(process, &run.exitCode);
    return run;
}

std::optional<InstalledDriver> findInstalledDriver(const char* environment, const std::string& name)
{
    DWORD needed = 0;
    DWORD count = 0;
    EnumPrinterDriversA(nullptr, const_cast<char*>(environment), 3, nullptr, 0, &needed, &count);
    if (needed == 0)
        return std::nullopt;
    std::vector<BYTE> buffer(needed);
    if (!EnumPrinterDriversA(nullptr, const_cast<char*>(environment), 3, buffer.data(), needed, &needed, &count))
        return std::nullopt;
    const auto* drivers = reinterpret_cast<const DRIVER_INFO_3A*>(buffer.data());
    auto text = [](const char* value) { return std::string(value ? value : ""); };
    for (DWORD i = 0; i < count; ++i) {
        if (drivers[i].pName == nullptr || name != drivers[i].pName)
            continue;
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

std::string driverDirectory(const char* environment)
{
    char directory[MAX_PATH] = {};
    DWORD needed = 0;
    GetPrinterDriverDirectoryA(nullptr, const_cast<char*>(environment), 1, reinterpret_cast<BYTE*>(directory),
                               sizeof directory, &needed);
    return std::string(directory) + "\\";
}

std::string baseName(const std::string& path)
{
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

::testing::AssertionResult driverFilesArePlaced(const char* environment, const std::string& driverName,
                                                const std::map<std::string, std::string>& expected)
{
    const auto driver = findInstalledDriver(environment, driverName);
    if (!driver)
        return ::testing::AssertionFailure() << "'" << driverName << "' is not registered";
    std::vector<std::string> named = {driver->driverPath, driver->dataFile, driver->configFile, driver->helpFile};
    named.insert(named.end(), driver->dependentFiles.begin(), driver->dependentFiles.end());
    const std::string directory = driverDirectory(environment);
    ::testing::AssertionResult result = ::testing::AssertionSuccess();
    for (const std::string& path : named) {
        if (path.empty())
            continue;
        const std::string file = baseName(path);
        const auto wanted = expected.find(file);
        if (wanted == expected.end())
            result = ::testing::AssertionFailure() << result.message() << "'" << file << "' is not expected; ";
        else if (readFileBytes(directory + file) != wanted->second)
            result = ::testing::AssertionFailure()
                     << result.message() << "'" << file << "' is not in the driver directory with its bytes; ";
    }
    return result;
}

void writeTestDriverFiles(const ScratchFolder& folder, const std::string& prefix)
{
    for (const auto& [name, bytes] : kTestDriverFiles)
        folder.write(prefix + name, bytes);
}

std::vector<std::string> unstampedLines(const std::string& log)
{
    static const std::regex stamp(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )");
    std::vector<std::string> lines;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);) {
        EXPECT_FALSE(line.empty() || line.back() != '\r') << "every line ends in CR LF: " << line;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        EXPECT_TRUE(std::regex_search(line, stamp)) << line;
        lines.push_back(std::regex_replace(line, stamp, ""));
    }
    return lines;
}

}  // namespace vr::test
