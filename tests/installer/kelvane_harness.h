// Runs Kelvane.exe (or its fault-injection build) under Wine as a user
// would, answers its message boxes, and reads back what the spooler holds.
#pragma once

#include <windows.h>

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

}  // namespace vr::test
