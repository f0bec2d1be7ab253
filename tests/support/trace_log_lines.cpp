#include "trace_log_lines.h"

#include <windows.h>

#include <cstdio>
#include <regex>

#include "shared_file.h"

namespace vr::test {

namespace {

// "<exe base name> <pid> <tid>" of the calling thread, as a line shows it.
std::string processColumnOfThisThread()
{
    char path[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string name = path;
    if (const std::size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0)
        name.erase(dot);
    if (const std::size_t slash = name.find_last_of("\\/"); slash != std::string::npos)
        name.erase(0, slash + 1);
    const DWORD process = GetCurrentProcessId();
    const DWORD thread = GetCurrentThreadId();
    char numbers[64];
    if (thread > 0xFFFF)
        std::snprintf(numbers, sizeof numbers, " 0x%08lX 0x%08lX", process, thread);
    else
        std::snprintf(numbers, sizeof numbers, " %4lu %4lu", process, thread);
    return name + numbers;
}

}  // namespace

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

std::string headerOf(const char* sourceBase, int sourceLine)
{
    std::string header = "VRCCLN  @ " + processColumnOfThisThread();
    if (header.size() < 10 + 20)
        header.resize(10 + 20, ' ');
    char source[64];
    std::snprintf(source, sizeof source, "%25s%5d ", sourceBase, sourceLine);
    return header + source;
}

std::string timeless(const std::string& line)
{
    static const std::regex time(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3})");
    if (line.size() < 31 || !std::regex_match(line.substr(8, 23), time))
        return "(no time) " + line;
    return line.substr(0, 8) + "@" + line.substr(31);
}

std::vector<std::string> timeless(const std::vector<std::string>& lines)
{
    std::vector<std::string> out;
    for (const std::string& line : lines)
        out.push_back(line.empty() ? line : timeless(line));
    return out;
}

}  // namespace vr::test
