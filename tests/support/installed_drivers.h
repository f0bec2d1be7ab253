// Printer drivers as the spooler holds them after an installation, and the
// files of the tests' small driver.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "scratch_folder.h"

namespace vr::test {

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

}  // namespace vr::test
