#include "kelvane_core.h"

#include <cstring>

extern "C" {
int SilentMode = 0;
char ConfigFileName[kFieldSize] = {};
}

namespace {

// The usage message writes the switch "-s": a first word of exactly "-s" or
// "-S" is the switch. Elsewhere, or with more letters, it is a file name.
char* FindDashSwitch(char* text)
{
    while (*text == ' ')
        ++text;
    const bool dash = text[0] == '-' && (text[1] == 's' || text[1] == 'S') && (text[2] == ' ' || text[2] == '\0');
    return dash ? text : nullptr;
}

// "/s" counts wherever it stands, even inside a file name.
char* FindSilentSwitch(char* text)
{
    if (char* dash = FindDashSwitch(text))
        return dash;
    if (char* lower = std::strstr(text, "/s"))
        return lower;
    return std::strstr(text, "/S");
}

}  // namespace

extern "C" int ParseCommandLine(char* commandLine)
{
    char* cursor = commandLine;
    if (char* silentSwitch = FindSilentSwitch(commandLine)) {
        SilentMode = 1;
        cursor = silentSwitch + 2;
    }
    // Only the space separates; tabs and quotes belong to the name.
    while (*cursor == ' ')
        ++cursor;
    char* tokenEnd = cursor;
    while (*tokenEnd != '\0' && *tokenEnd != ' ')
        ++tokenEnd;
    const std::size_t length = static_cast<std::size_t>(tokenEnd - cursor);
    if (length == 0 || length > kMaxFieldLength) {
        ShowError(kUsageMessage);
        return 0;
    }
    *tokenEnd = '\0';
    std::memcpy(ConfigFileName, cursor, length + 1);
    return 1;
}

int RunKelvane(char* commandLineTail)
{
    if (commandLineTail == nullptr || commandLineTail[0] == '\0')
        return kExitNothingRead;
    if (!ParseCommandLine(commandLineTail))
        return kExitNothingRead;

    DriverConfig config;
    if (!InitConfig(&config))
        return kExitFailed;

    const int read = ReadConfig(ConfigFileName, &config);
    if (read == kReadConfigCannotOpen) {
        ShowError("ReadConfig() error.");
        FreeDependentFiles(config.DependentFiles);
        return kExitNothingRead;
    }
    if (read == kReadConfigOutOfMemory) {
        FreeDependentFiles(config.DependentFiles);
        return kExitFailed;
    }

    int exitCode = kExitFailed;
    if (!EqualsIgnoringAsciiCase(config.Platform, kRequiredPlatform)) {
        ShowError("This printer driver is for 64-bit versions of Windows. "
                  "Your OS is 32-bit. Installation failed.");
    } else if (InstallDriver(&config)) {
        exitCode = kExitInstalled;
    }
    FreeDependentFiles(config.DependentFiles);
    return exitCode;
}
