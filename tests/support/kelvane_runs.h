// Runs Kelvane.exe (or its fault-injection build) under Wine as a user
// would, answers its message boxes and matches them, and reads its run log.
#pragma once

#include <gmock/gmock.h>
#include <windows.h>

#include <string>
#include <vector>

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

// A box shown without a caption carries the system's default title.
inline constexpr char kDefaultCaption[] = "Error";

inline auto Box(const std::string& caption, const std::string& text)
{
    return ::testing::AllOf(::testing::Field(&MessageBoxSeen::caption, caption),
                            ::testing::Field(&MessageBoxSeen::text, text));
}

inline auto ErrorBox(const std::string& text) { return Box(kDefaultCaption, text); }

}  // namespace vr::test
