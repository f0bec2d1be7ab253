#include "run_log.h"

#include <windows.h>

#include <cstdio>
#include <algorithm>
#include <cstring>

#include "platform/handles.h"

namespace {

constexpr wchar_t kLogVariable[] = L"KELVANE_LOG";
// Every message of the program fits; a longer text is cut and marked.
constexpr std::size_t kLineSize = 4096;
constexpr char kCutMarker[] = "...";

// The file is opened for each line and closed again: runs started side by
// side append whole lines, and nothing is held open while a box waits.
void appendLine(const char* line, std::size_t length)
{
    wchar_t path[MAX_PATH + 1];
    const DWORD pathLength = GetEnvironmentVariableW(kLogVariable, path, MAX_PATH + 1);
    if (pathLength == 0 || pathLength > MAX_PATH)
        return;  // not set, or no path the file calls take
    const vr::UniqueHandle file(
        vr::adoptFileHandle(CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)));
    if (!file)
        return;  // a log that cannot be opened never changes the run
    DWORD written = 0;
    WriteFile(file.get(), line, static_cast<DWORD>(length), &written, nullptr);
}

// "yyyy-mm-dd hh:mm:ss.mmm " at the start of line; returns its length.
std::size_t putTimestamp(char* line, std::size_t capacity)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    const int length = std::snprintf(line, capacity, "%04u-%02u-%02u %02u:%02u:%02u.%03u ", now.wYear, now.wMonth,
                                     now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    return length > 0 ? static_cast<std::size_t>(length) : 0;
}

bool runLogWanted() { return GetEnvironmentVariableW(kLogVariable, nullptr, 0) != 0; }

}  // namespace

void AppendRunLogMessage(const char* caption, const char* text)
{
    if (!runLogWanted())
        return;
    char line[kLineSize];
    // Room kept for the cut marker and the line end.
    const std::size_t limit = kLineSize - sizeof kCutMarker - 2;
    std::size_t used = putTimestamp(line, kLineSize);
    const int header = std::snprintf(line + used, kLineSize - used, "%s: ", caption != nullptr ? caption : "");
    used = header > 0 ? std::min(used + static_cast<std::size_t>(header), limit) : used;
    bool cut = false;
    for (const char* c = text != nullptr ? text : ""; *c != '\0'; ++c) {
        if (*c == '\r' && c[1] == '\n')
            continue;
        const bool lineEnd = *c == '\n' || *c == '\r';
        if (used + (lineEnd ? 2 : 1) > limit) {
            cut = true;
            break;
        }
        if (lineEnd) {
            line[used++] = '\\';
            line[used++] = 'n';
        } else {
            line[used++] = *c;
        }
    }
    if (cut) {
        std::memcpy(line + used, kCutMarker, sizeof kCutMarker - 1);
        used += sizeof kCutMarker - 1;
    }
    line[used++] = '\r';
    line[used++] = '\n';
    appendLine(line, used);
}

void AppendRunLogExitCode(int exitCode)
{
    if (!runLogWanted())
        return;
    char line[64];
    std::size_t used = putTimestamp(line, sizeof line);
    const int tail = std::snprintf(line + used, sizeof line - used, "exit code %d\r\n", exitCode);
    if (tail > 0)
        appendLine(line, used + static_cast<std::size_t>(tail));
}
