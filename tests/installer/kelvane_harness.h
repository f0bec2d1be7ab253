// Runs Kelvane.exe (or its fault-injection build) under Wine as a user
// would, answers its message boxes, and reads back what the spooler holds.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "file_bytes.h"
#include "scratch_folder.h"
#include "wine_paths.h"

namespace vr::test {

struct MessageBoxSeen {
    std::string caption;
    std::string text;
};

struct KelvaneRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::vector<MessageBoxSeen> boxes;
};

std::string kelvanePath();  // the shipped program
std::string kelvaneFaultsPath();  // the same program with its fault seams
std::string samplePackageDir();  // the staged sample driver package, with a trailing backslash

// Starts program with the given command-line tail in folder, pressing OK on
// every message box it shows (class "#32770") and recording caption and text;
// `fault` names the seam KelvaneFaults.exe makes fail.
KelvaneRun startKelvaneAndAnswerBoxes(const std::string& program, const std::string& tail, const std::string& folder,
                                      const char* fault = nullptr);

struct InstalledDriver {
    DWORD cVersion = 0;
    std::string driverPath, dataFile, configFile, helpFile, monitorName, defaultDataType;
    std::vector<std::string> dependentFiles;  // as the spooler lists them
};

std::optional<InstalledDriver> findInstalledDriver(const char* environment, const std::string& name);
std::string driverDirectory(const char* environment);  // with a trailing backslash

// Last path component.
std::string baseName(const std::string& path);

// Each file the registered driver names (driver, data, configuration, help and
// dependent files) is in the environment's driver directory with the bytes
// `expected` holds for its name. The spooler registers a driver whose files
// were never placed, so its registration alone proves nothing.
::testing::AssertionResult driverFilesArePlaced(const char* environment, const std::string& driverName,
                                                const std::map<std::string, std::string>& expected);

// The driver and data file of the tests' small driver, with their bytes.
inline const std::map<std::string, std::string> kTestDriverFiles = {
    {"kvtest.dll", "kvtest driver\n"},
    {"kvtest.gpd", "kvtest data\n"},
};
// Writes them into folder, each name after prefix.
void writeTestDriverFiles(const ScratchFolder& folder, const std::string& prefix = "");

// Sets KELVANE_LOG for the programs a test starts, and clears it afterwards.
class RunLogVariable {
public:
    explicit RunLogVariable(const std::string& path) { SetEnvironmentVariableA("KELVANE_LOG", path.c_str()); }
    ~RunLogVariable() { SetEnvironmentVariableA("KELVANE_LOG", nullptr); }
    RunLogVariable(const RunLogVariable&) = delete;
    RunLogVariable& operator=(const RunLogVariable&) = delete;
};

// The run log's lines with their "yyyy-mm-dd hh:mm:ss.mmm " stamp checked and taken off.
std::vector<std::string> unstampedLines(const std::string& log);

}  // namespace vr::test
