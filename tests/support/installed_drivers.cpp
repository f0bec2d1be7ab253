#include "installed_drivers.h"

#include <winspool.h>

#include <cstring>

#include "file_bytes.h"

namespace vr::test {

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

}  // namespace vr::test
