// Where the tracer's logs are, removing them, and the driver log's setting.
#pragma once

#include <string>

namespace vr::test {

// The folder of the logs as the test program began: the server log folder,
// else the data folder.
std::wstring logFolder();
std::wstring debugLogPath();
std::wstring driverLogPath();
// Both logs and their backups.
void removeLogs();

// The log folder the folder routines give now (tests change its settings);
// empty when neither gives one.
std::wstring currentLogFolder();

// The user setting DriverLogFile.
void setDriverLogFile(const std::wstring& path);
void clearDriverLogFile();

}  // namespace vr::test
