// vrclog: reads the product's trace logs (VRCDBG62.LOG, VRCDRV62.LOG and their
// .BAK backups) for the people who support it. The work is in core/; this file
// takes the command line, binds the console and gives the exit code.
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "command_line.h"

#ifdef _WIN32
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#endif

namespace {

int run(const std::vector<std::string>& arguments)
{
    namespace vl = vr::vrclog;
    // The logs' bytes go out as they are, line ends included.
    vl::FileSink out(stdout);
    vl::FileSink errors(stderr);
    const vl::ParsedCommandLine parsed = vl::parseCommandLine(arguments);
    if (!parsed.error.empty()) {
        errors.write("vrclog: " + parsed.error + "\n");
        errors.write(vl::usageText());
        return vl::kExitBadCommandLine;
    }
    return vl::runCommand(parsed.options, out, errors);
}

}  // namespace

#ifdef _WIN32
// Arguments arrive as UTF-16 and are handed on as UTF-8, which is how the
// core opens files by name.
static std::string toUtf8(const wchar_t* text)
{
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 1)
        return {};
    std::string utf8(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), bytes, nullptr, nullptr);
    utf8.resize(static_cast<std::size_t>(bytes) - 1);
    return utf8;
}

int wmain(int argc, wchar_t** argv)
{
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    try {
        std::vector<std::string> arguments;
        for (int i = 1; i < argc; ++i)
            arguments.push_back(toUtf8(argv[i]));
        return run(arguments);
    } catch (...) {
        std::fputs("vrclog: out of memory\n", stderr);
        return vr::vrclog::kExitCannotRead;
    }
}
#else
int main(int argc, char** argv)
{
    try {
        return run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (...) {
        std::fputs("vrclog: out of memory\n", stderr);
        return vr::vrclog::kExitCannotRead;
    }
}
#endif
