// Runs Kelvane.exe (or its fault-injection build) under Wine as a user
// would, answers its message boxes, and reads back what the spooler holds.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

struct MessageBoxSeen {
    std::string caption;
    std::string text;
};

struct KelvaneRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::vector<MessageBoxSeen> boxes;
};

// Windows form of a path of the build machine (Wine maps Z: to /).
std::string WindowsPath(const std::string& unixPath);

std::string KelvanePath();        // the shipped program
std::string KelvaneFaultsPath();  // the same program with its fault seams
std::string SamplePackageDir();   // the staged sample driver package, with a trailing backslash

// Starts program with the given command-line tail in folder, pressing OK on
// every message box it shows (class "#32770") and recording caption and text.
KelvaneRun RunKelvane(const std::string& program, const std::string& tail, const std::string& folder,
                      const char* fault = nullptr);

// A fresh folder of its own for one test, removed with its files at the end.
class WorkFolder {
public:
    WorkFolder();
    ~WorkFolder();
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    const std::string& Path() const { return path_; }  // ends in a backslash
    std::string Write(const std::string& name, const std::string& bytes) const;

private:
    std::string path_;
};

// Names no earlier run of the tests has used, so that runs against a kept
// prefix never find the driver already installed.
std::string UniqueName(const std::string& stem);

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);

struct InstalledDriver {
    DWORD cVersion = 0;
    std::string driverPath, dataFile, configFile, helpFile, monitorName, defaultDataType;
    std::vector<std::string> dependentFiles;  // as the spooler lists them
};

std::optional<InstalledDriver> FindInstalledDriver(const char* environment, const std::string& name);
std::string DriverDirectory(const char* environment);  // with a trailing backslash

// Last path component.
std::string BaseName(const std::string& path);
