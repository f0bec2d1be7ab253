#include "kelvane_runs.h"

#include <cstring>
#include <regex>
#include <sstream>

#include "child_program.h"
#include "text.h"
#include "wine_paths.h"

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
