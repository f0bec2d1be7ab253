// Places the dependent files into the spooler's driver directory and
// registers the driver.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "bound_entries.h"
#include "core/kelvane_core.h"
#include "platform/handles.h"
#include "platform_seams.h"

namespace {

constexpr std::size_t kMessageSize = 1024;
constexpr DWORD kDriverDirectorySize = 259;

// OSVERSIONINFOEXA as the version query expects it.
constexpr DWORD kVersionInfoSize = 156;
static_assert(sizeof(OSVERSIONINFOEXA) == kVersionInfoSize);

void ReportWithPath(const char* format, const char* path)
{
    char message[kMessageSize];
    std::snprintf(message, sizeof message, format, path);
    ShowError(message);
}

void ReportPathTooLong(const char* first, const char* second)
{
    char message[kMessageSize];
    std::snprintf(message, sizeof message, "File path too long: '%s%s'", first, second);
    ShowError(message);
}

// The content size a faithful expansion of source produces: what the
// compressed header declares, or the file's own size when it is not compressed.
bool ExpectedExpandedSize(const char* source, std::uint64_t* size)
{
    const vr::UniqueCFile file(std::fopen(source, "rb"));
    if (!file)
        return false;
    unsigned char header[kCompressedHeaderSize];
    const std::size_t got = std::fread(header, 1, sizeof header, file.get());
    std::uint32_t declared = 0;
    bool known = true;
    if (DeclaredExpandedSize(header, got, &declared)) {
        *size = declared;
    } else if (_fseeki64(file.get(), 0, SEEK_END) == 0) {
        const long long end = _ftelli64(file.get());
        known = end >= 0;
        *size = static_cast<std::uint64_t>(end);
    } else {
        known = false;
    }
    return known;
}

// The file calls here are the narrow ones (and the C runtime's, which hand the
// narrow name on to them): they convert a name with the ANSI code page, or the
// OEM one in a process that called SetFileApisToOEM. The name check reads it
// the same way, so that a trail byte 0x5C is never taken for a separator.
bool DecodeAsTheFileCallsDo(unsigned codePage, const char* bytes, std::size_t byteCount, char16_t* text,
                            std::size_t capacity, std::size_t* length)
{
    WCHAR wide[2 * kFieldSize];
    if (byteCount == 0 || byteCount > kMaxFieldLength || capacity > sizeof wide / sizeof wide[0])
        return false;
    const int converted = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes, static_cast<int>(byteCount), wide,
                                              static_cast<int>(capacity));
    if (converted <= 0)
        return false;  // not text in the code page, or no room
    std::copy_n(wide, converted, text);
    *length = static_cast<std::size_t>(converted);
    return true;
}

// The LZ functions take a file handle as an HFILE; handle values fit it.
INT AsLzFile(HANDLE file) { return static_cast<INT>(reinterpret_cast<INT_PTR>(file)); }

// Expands source into target (created, or truncated when it exists). A
// short or failed expansion must not be registered as if it were the file.
// The files are opened by their full paths: the LZ library's own open call
// keeps a path in 128 bytes and fails for a package in a deep folder.
bool ExpandInto(const char* source, const char* target)
{
    std::uint64_t expected = 0;
    if (!ExpectedExpandedSize(source, &expected))
        return false;
    const LzEntries& lz = Lz();
    if (!lz.complete())
        return false;  // as a failed expansion
    vr::UniqueHandle sourceFile(vr::adoptFileHandle(
        CreateFileA(source, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)));
    if (!sourceFile)
        return false;
    const INT opened = lz.init(AsLzFile(sourceFile.get()));
    if (opened < 0)
        return false;  // the file is still ours to close
    // From here LZClose closes the source file, whether it is compressed or not.
    const vr::UniqueLzFile sourceLz(opened, lz.close);
    static_cast<void>(sourceFile.release());
    const vr::UniqueHandle targetFile(vr::adoptFileHandle(
        CreateFileA(target, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)));
    if (!targetFile)
        return false;
    const LONG copied = lz.copy(sourceLz.get(), AsLzFile(targetFile.get()));
    return copied >= 0 && static_cast<std::uint64_t>(copied) == expected;
}

// Returns true when a driver of exactly this name (case included) is installed.
// Sets *failed when the list could not be allocated.
bool IsDriverInstalled(const char* environment, const char* driverName, bool* failed)
{
    *failed = false;
    // An entry that cannot be bound fails as the call would: nothing listed.
    const auto enumDrivers = Spooler().enumDrivers;
    DWORD needed = 0;
    DWORD count = 0;
    if (enumDrivers != nullptr)
        enumDrivers(nullptr, const_cast<char*>(environment), 1, nullptr, 0, &needed, &count);
    void* block = AllocateDriverList(needed != 0 ? needed : 1);
    if (block == nullptr) {
        *failed = true;
        return false;
    }
    bool installed = false;
    count = 0;
    if (needed != 0 &&
        enumDrivers(nullptr, const_cast<char*>(environment), 1, static_cast<BYTE*>(block), needed, &needed, &count)) {
        const auto* drivers = static_cast<const DRIVER_INFO_1A*>(block);
        for (DWORD i = 0; i < count && !installed; ++i)
            installed = drivers[i].pName != nullptr && std::strcmp(drivers[i].pName, driverName) == 0;
    }
    FreeDriverList(block);
    return installed;
}

// Places one dependent file and adds it to the list. Returns false, after
// reporting, when the run must stop before registration.
bool PlaceDependentFile(const DriverConfig* config, const char* entry, const char* driverDirectory,
                        DependentFileList* list)
{
    char name[kFieldSize];
    JoinPath(name, "", entry);
    char source[kFieldSize];
    if (!JoinPath(source, config->DriverDir, name)) {
        ReportPathTooLong(config->DriverDir, name);
        return false;
    }
    if (!vr::UniqueCFile(std::fopen(source, "r"))) {
        // A missing file is left out and the installation goes on.
        ReportWithPath("Driver file '%s' is missing.", source);
        return true;
    }

    const bool compressed = name[0] != '\0' && name[std::strlen(name) - 1] == '_';
    if (compressed)
        ExpandCompressedName(name);  // an unknown ending keeps its name

    char target[kFieldSize];
    if (!JoinPath(target, driverDirectory, name)) {
        ReportPathTooLong(driverDirectory, name);
        return false;
    }
    if (!DependentListAppend(list, name)) {
        ReportWithPath("Too many dependent files: '%s' does not fit the list.", name);
        return false;
    }

    if (GetFileAttributesA(target) != INVALID_FILE_ATTRIBUTES) {
        // Clears a read-only mark so that the copy or expansion can replace
        // the file an earlier run left.
        if (!SetFileAttributesA(target, FILE_ATTRIBUTE_ARCHIVE)) {
            ReportWithPath("Couldn't delete file '%s'", target);
            return false;
        }
    }
    if (compressed) {
        if (!ExpandInto(source, target)) {
            ReportWithPath("Couldn't copy file '%s'", target);
            return false;
        }
        return true;
    }
    if (!CopyFileA(source, target, FALSE)) {
        ReportWithPath("Couldn't copy file '%s'", target);
        return false;
    }
    return true;
}

}  // namespace

extern "C" BOOL IsX64System()
{
    SYSTEM_INFO info;
    std::memset(&info, 0, sizeof info);
    GetSystemInfo(&info);
    return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
}

extern "C" int InstallDriver(const DriverConfig* config)
{
    static DependentFileList list;  // 20,000 bytes: kept off the stack
    DependentListReset(&list);

    OSVERSIONINFOEXA version;
    std::memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = kVersionInfoSize;
    GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version));
    const DriverEnvironment chosen = ChooseDriverEnvironment(version.dwMajorVersion, IsX64System());
    if (chosen.environment == nullptr) {
        ShowError("Unknown OS.");
        return 0;
    }

    bool listFailed = false;
    if (IsDriverInstalled(chosen.environment, config->DriverName, &listFailed))
        return 1;
    if (listFailed) {
        ShowError("Memory Allocation Error.");
        return 0;
    }

    char driverDirectory[kFieldSize] = {};
    DWORD needed = 0;
    if (!QueryPrinterDriverDirectory(chosen.environment, driverDirectory, kDriverDirectorySize, &needed)) {
        ShowError("GetPrinterDriverDirectory() failed.");
        return 0;
    }
    // At most 258 characters came back, so the backslash always fits.
    const std::size_t directoryLength = strnlen(driverDirectory, kDriverDirectorySize - 1);
    driverDirectory[directoryLength] = '\\';
    driverDirectory[directoryLength + 1] = '\0';

    const UINT fileCallCodePage = AreFileApisANSI() ? CP_ACP : CP_OEMCP;
    const NameDecoder fileCallNames{fileCallCodePage, DecodeAsTheFileCallsDo};
    if (!DependentFilesStayInDirectory(config, fileCallNames))
        return 0;  // before any file is placed
    for (std::uint32_t i = 0; i < config->DependentFileCount; ++i) {
        if (!PlaceDependentFile(config, config->DependentFiles[i], driverDirectory, &list))
            return 0;
    }
    DependentListFinish(&list);

    DRIVER_INFO_3A info;
    std::memset(&info, 0, sizeof info);
    info.cVersion = chosen.cVersion;
    info.pName = const_cast<char*>(config->DriverName);
    info.pEnvironment = const_cast<char*>(chosen.environment);
    info.pDriverPath = const_cast<char*>(config->DriverFile);
    info.pDataFile = const_cast<char*>(config->DataFile);
    info.pConfigFile = const_cast<char*>(config->ConfigFile);
    info.pHelpFile = const_cast<char*>(config->HelpFile);
    info.pDependentFiles = list.bytes;
    info.pMonitorName = const_cast<char*>(config->MonitorFile);
    info.pDefaultDataType = const_cast<char*>(config->DefaultDataType);

    char message[kMessageSize] = {};
    // An entry that cannot be bound fails as the call would, with the reason.
    const SpoolerEntries& spooler = Spooler();
    BOOL added = FALSE;
    if (spooler.addDriver != nullptr)
        added = spooler.addDriver(nullptr, 3, reinterpret_cast<BYTE*>(&info));
    else
        SetLastError(spooler.bindError);
    if (added) {
        std::snprintf(message, sizeof message, "%s printer installed successfully.", config->DriverName);
        ShowInfo(message, "Printer install complete");
        return 1;
    }
    const DWORD error = GetLastError();
    static constexpr char kFailurePrefix[] = "OEM Driver install failed.\nError: ";
    std::memcpy(message, kFailurePrefix, sizeof kFailurePrefix);
    const DWORD prefixLength = sizeof kFailurePrefix - 1;
    // Inserts are ignored: system texts may hold %1 and there are no arguments.
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                   MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), message + prefixLength,
                   static_cast<DWORD>(kMessageSize - prefixLength), nullptr);
    ShowError(message);
    return 0;
}
