#include "trace_support.h"

#include <gtest/gtest.h>
#include <winioctl.h>

#include <cstring>
#include <mutex>
#include <regex>

#include "child_program.h"
#include "registry_state.h"
#include "shared_file.h"
#include "trace/core/trace_context.h"
#include "trace/tracer_seams.h"
#include "vrcommon.h"
#include "wine_paths.h"

namespace vr::test {

namespace {

std::mutex captureLock;
std::vector<std::string> captured;
DWORD captureThread = 0;

LONG CALLBACK captureDebugOutput(EXCEPTION_POINTERS* info)
{
    const EXCEPTION_RECORD* r = info->ExceptionRecord;
    if (r->ExceptionCode == DBG_PRINTEXCEPTION_C && r->NumberParameters >= 2 && GetCurrentThreadId() == captureThread) {
        const auto length = static_cast<std::size_t>(r->ExceptionInformation[0]);
        const auto* text = reinterpret_cast<const char*>(r->ExceptionInformation[1]);
        std::lock_guard<std::mutex> hold(captureLock);
        captured.emplace_back(text, length > 0 ? strnlen(text, length) : 0);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

std::wstring logFolder()
{
    // Looked up once: the lookup may report through the tracer itself.
    static const std::wstring folder = [] {
        // Where the tracer puts its logs: the server log folder, else the data folder.
        wchar_t found[MAX_PATH] = {};
        if (!VRC_GetLogsFolder(found, MAX_PATH)) {
            EXPECT_TRUE(VRC_GetUserDataFolder(found, MAX_PATH));
        }
        return std::wstring(found);
    }();
    return folder;
}

std::wstring debugLogPath() { return logFolder() + L"\\VRCDBG62.LOG"; }
std::wstring driverLogPath() { return logFolder() + L"\\VRCDRV62.LOG"; }

std::wstring tempPath(const wchar_t* name)
{
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder) + name;
}

std::vector<std::string> readLines(const std::wstring& path)
{
    std::vector<std::string> lines;
    const std::string text = readSharedFile(path);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

void removeFile(const std::wstring& path) { DeleteFileW(path.c_str()); }

void removeLogs()
{
    const std::wstring folder = logFolder();
    for (const wchar_t* name : {L"VRCDBG62.LOG", L"VRCDRV62.LOG", L"VRCDBG62.BAK", L"VRCDRV62.BAK"})
        DeleteFileW((folder + L"\\" + name).c_str());
}

LONGLONG fileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (LONGLONG{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

std::string expectedHeader(const char* sourceBase, int sourceLine)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    char column[vr::trace::kTextSize];
    vr::trace::formatProcessColumn(column, sizeof column, path, GetCurrentProcessId(), GetCurrentThreadId());
    char header[512];
    std::snprintf(header, sizeof header, "%-7s %s %-20s%25s%5d ", "VRCCLN", "@", column, sourceBase, sourceLine);
    return header;
}

std::string withoutTime(const std::string& line)
{
    static const std::regex time(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3})");
    if (line.size() < 31 || !std::regex_match(line.substr(8, 23), time))
        return "(no time) " + line;
    return line.substr(0, 8) + "@" + line.substr(31);
}

bool contextLinkedFor(DWORD threadId) { return vr::trace::contextListed(threadId); }

void setDriverLogFile(const std::wstring& path)
{
    ASSERT_TRUE(setSettingString(HKEY_CURRENT_USER, L"DriverLogFile", path));
}

void clearDriverLogFile() { deleteSetting(HKEY_CURRENT_USER, L"DriverLogFile"); }

DebugOutputCapture::DebugOutputCapture()
{
    {
        std::lock_guard<std::mutex> hold(captureLock);
        captured.clear();
        captureThread = GetCurrentThreadId();
    }
    handler_ = AddVectoredExceptionHandler(1, captureDebugOutput);
}

DebugOutputCapture::~DebugOutputCapture()
{
    RemoveVectoredExceptionHandler(handler_);
    std::lock_guard<std::mutex> hold(captureLock);
    captureThread = 0;
}

std::vector<std::string> DebugOutputCapture::texts() const
{
    std::lock_guard<std::mutex> hold(captureLock);
    return captured;
}

ErrorBoxCapture::ErrorBoxCapture()
{
    texts().clear();
    vr::trace::setErrorBoxHook([](const char* text) { ErrorBoxCapture::texts().emplace_back(text); });
}

ErrorBoxCapture::~ErrorBoxCapture() { vr::trace::setErrorBoxHook(nullptr); }

std::vector<std::string>& ErrorBoxCapture::texts()
{
    static std::vector<std::string> shown;
    return shown;
}

HANDLE startHelper(const std::wstring& arguments)
{
    return startProgram(windowsPath(VR_TEST_DIR "/trace_helper.exe"), arguments).process.release();
}

DWORD waitForExit(HANDLE process, DWORD milliseconds)
{
    const UniqueHandle owned(process);
    return waitForExitCode(owned.get(), milliseconds);
}

}  // namespace vr::test
