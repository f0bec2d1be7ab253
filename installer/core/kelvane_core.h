// Kelvane's portable core: command line, configuration file, compressed
// names, the dependent-file list and the order of a run. Nothing here calls
// Windows, so the same code builds natively with the sanitizers.
//
// The core reports through ShowError and allocates through the hooks below;
// the program (or a test) links their definitions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Every text the installer keeps is a NUL-terminated narrow string in a
// buffer of this size, so a value holds at most 259 characters.
inline constexpr std::size_t kFieldSize = 260;
inline constexpr std::size_t kMaxFieldLength = kFieldSize - 1;

// Room for this many dependent-file entries is added at a time.
inline constexpr std::uint32_t kDependentFileGrowth = 260;

// The registration list: names, each ended by a NUL, then one more NUL.
inline constexpr std::size_t kDependentListSize = 20000;

inline constexpr const char kUsageMessage[] = "Usage: Kelvane.exe [-s] <config file name>";
inline constexpr const char kRequiredPlatform[] = "Windows x64";

// Exit codes: nothing was read; the driver is installed (now or before); the
// configuration was read but the installation did not happen.
inline constexpr int kExitNothingRead = 0;
inline constexpr int kExitInstalled = 1;
inline constexpr int kExitFailed = 2;

// ReadConfig results.
inline constexpr int kReadConfigCannotOpen = 0;
inline constexpr int kReadConfigRead = 1;
inline constexpr int kReadConfigOutOfMemory = -1;  // already reported

typedef char DependentFileEntry[kFieldSize];

struct DriverConfig {
    char DriverName[kFieldSize];
    char Platform[kFieldSize];
    char ConfigFile[kFieldSize];
    char DataFile[kFieldSize];
    char DefaultDataType[kFieldSize];
    char DriverDir[kFieldSize];
    char DriverFile[kFieldSize];
    char HelpFile[kFieldSize];
    char MonitorFile[kFieldSize];
    DependentFileEntry* DependentFiles;
    std::uint32_t DependentFileCount;
    // Entries the DependentFiles block has room for (its size / 260).
    std::uint32_t DependentFileCapacity;
};

// Accumulates the dependent-file list handed to the spooler.
struct DependentFileList {
    char bytes[kDependentListSize];
    std::size_t length;  // bytes of names and their NULs so far
};

extern "C" {

extern int SilentMode;
extern char ConfigFileName[kFieldSize];

// Provided by the program (message boxes) or by a test.
void ShowError(const char* text);
void ShowInfo(const char* text, const char* caption);

// Allocation hooks for the dependent-file block: zero-filled first block,
// growth that keeps the old block on failure, release. Provided by the program.
void* AllocateDependentFiles(std::size_t bytes);
void* GrowDependentFiles(void* block, std::size_t bytes);
void FreeDependentFiles(void* block);

// The installation step, provided by the platform shell (or a test).
int InstallDriver(const DriverConfig* config);

int ParseCommandLine(char* commandLine);
int InitConfig(DriverConfig* config);
int ReadConfig(const char* fileName, DriverConfig* config);
int ReadConfigStream(std::FILE* file, DriverConfig* config);
int ExpandCompressedName(char* name);

}  // extern "C"

// Case-insensitive comparison of ASCII letters only; other bytes must match.
bool EqualsIgnoringAsciiCase(const char* a, const char* b);

// One run from the command-line tail to the exit code.
int RunKelvane(char* commandLineTail);

// The spooler environment and driver version for the running system; null
// environment for a system older than 4.0.
struct DriverEnvironment {
    const char* environment;
    std::uint32_t cVersion;
};
DriverEnvironment ChooseDriverEnvironment(std::uint32_t majorVersion, bool x64);

// Writes first followed directly by second into out (kFieldSize bytes).
// Returns false, leaving out empty, when the result would not fit.
bool JoinPath(char* out, const char* first, const char* second);

void DependentListReset(DependentFileList* list);
// False, with the list unchanged, when the name would not fit.
bool DependentListAppend(DependentFileList* list, const char* name);
// Adds the closing NUL; the list is then ready for registration.
void DependentListFinish(DependentFileList* list);

// How the file calls read a narrow name: converted from their code page
// (codePage, passed back to decode) to UTF-16. decode writes at most capacity
// units and sets *length; false when the bytes are not text in that code page
// or do not fit. The program passes the platform's conversion, a test its own.
struct NameDecoder {
    unsigned codePage;
    bool (*decode)(unsigned codePage, const char* bytes, std::size_t byteCount, char16_t* text, std::size_t capacity,
                   std::size_t* length);
};

// Where a dependent-file name would place its file. It leaves the driver
// directory when, read as the file calls read it, it starts at a root (\x,
// /x, \\server\share), carries a drive or a stream (any ':'), climbs out
// through a ".." segment, or ends in a segment that names a device (NUL,
// COM1.dll, "lpt\u00B9 .x"): a write there reaches the device. A name that is
// not text in the code page is refused too: what the calls would open is unknown.
// A package is data: no name in it may choose where an administrator's
// process writes. Reads at most kMaxFieldLength bytes of the name.
enum class DependentNameCheck { InDirectory, LeavesDirectory, NotInCodePage };
DependentNameCheck CheckDependentName(const char* name, const NameDecoder& decoder);
// Reports the first dependent-file name that is not InDirectory through
// ShowError and returns false; true when every name stays in the directory.
bool DependentFilesStayInDirectory(const DriverConfig* config, const NameDecoder& decoder);

// The size an LZ-compressed ("SZDD") file declares for its expanded content.
// Returns false when the header is not one; such a file is copied as it is.
inline constexpr std::size_t kCompressedHeaderSize = 14;
bool DeclaredExpandedSize(const unsigned char* header, std::size_t length, std::uint32_t* size);
