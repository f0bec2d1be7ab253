#include "kelvane_core.h"

#include <cstring>

#include "platform/c_file.h"

namespace {

using TextField = char (DriverConfig::*)[kFieldSize];

struct SingleValueKey {
    const char* key;
    TextField field;
};

constexpr SingleValueKey kSingleValueKeys[] = {
    {"platform", &DriverConfig::Platform},
    {"driver name", &DriverConfig::DriverName},
    {"configuration file", &DriverConfig::ConfigFile},
    {"data file", &DriverConfig::DataFile},
    {"default data type", &DriverConfig::DefaultDataType},
    {"driver dir", &DriverConfig::DriverDir},
    {"driver file", &DriverConfig::DriverFile},
    {"help file", &DriverConfig::HelpFile},
    {"monitor file", &DriverConfig::MonitorFile},
};
constexpr const char kDependentFileKey[] = "dependent file";

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

void CopyText(char* destination, const char* source)
{
    const std::size_t length = strnlen(source, kMaxFieldLength);
    std::memcpy(destination, source, length);
    destination[length] = '\0';
}

// Makes room for one more entry. The block grows by 260 entries once the
// entry being added is the last one that fits, so one slot always stays spare.
bool ReserveDependentFile(DriverConfig* config)
{
    if (config->DependentFiles != nullptr && config->DependentFileCount + 1 < config->DependentFileCapacity)
        return true;
    const std::size_t newCapacity = static_cast<std::size_t>(config->DependentFileCapacity) + kDependentFileGrowth;
    if (newCapacity > UINT32_MAX) {
        ShowError("Memory reallocation failed");
        return false;
    }
    void* grown = GrowDependentFiles(config->DependentFiles, newCapacity * kFieldSize);
    if (grown == nullptr) {
        // The old block stays with the record, to be freed by its owner.
        ShowError("Memory reallocation failed");
        return false;
    }
    config->DependentFiles = static_cast<DependentFileEntry*>(grown);
    config->DependentFileCapacity = static_cast<std::uint32_t>(newCapacity);
    return true;
}

struct ReaderState {
    char key[kFieldSize] = {};
    bool hasKey = false;
};

// Handles one piece of at most 259 characters. Returns false when the
// dependent-file list could not grow.
bool HandlePiece(ReaderState& state, char* piece, DriverConfig* config)
{
    char* text = piece;
    while (IsBlank(*text))
        ++text;
    if (text[0] == '\0' || (text[0] == '\n' && text[1] == '\0') || text[0] == ';')
        return true;

    std::size_t length = std::strlen(text);
    while (length > 0 && (IsBlank(text[length - 1]) || text[length - 1] == '\n'))
        --length;
    text[length] = '\0';

    if (text[0] == '#') {
        // Blanks after '#' stay part of the key.
        CopyText(state.key, text + 1);
        state.hasKey = true;
        return true;
    }
    if (!state.hasKey)
        return true;

    for (const SingleValueKey& entry : kSingleValueKeys) {
        if (EqualsIgnoringAsciiCase(state.key, entry.key)) {
            CopyText(config->*entry.field, text);
            return true;
        }
    }
    if (EqualsIgnoringAsciiCase(state.key, kDependentFileKey)) {
        if (!ReserveDependentFile(config))
            return false;
        CopyText(config->DependentFiles[config->DependentFileCount], text);
        ++config->DependentFileCount;
    }
    return true;
}

}  // namespace

bool EqualsIgnoringAsciiCase(const char* a, const char* b)
{
    for (; *a != '\0' && *b != '\0'; ++a, ++b)
        if (LowerAscii(*a) != LowerAscii(*b))
            return false;
    return *a == *b;
}

extern "C" int InitConfig(DriverConfig* config)
{
    for (const SingleValueKey& entry : kSingleValueKeys)
        (config->*entry.field)[0] = '\0';
    config->DependentFileCount = 0;
    config->DependentFileCapacity = 0;
    config->DependentFiles = static_cast<DependentFileEntry*>(
        AllocateDependentFiles(static_cast<std::size_t>(kDependentFileGrowth) * kFieldSize));
    if (config->DependentFiles == nullptr) {
        ShowError("Memory allocation for dependent files failed");
        return 0;
    }
    config->DependentFileCapacity = kDependentFileGrowth;
    return 1;
}

extern "C" int ReadConfigStream(std::FILE* file, DriverConfig* config)
{
    ReaderState state;
    char piece[kFieldSize];
    // A line longer than 259 characters goes on as the next piece.
    while (std::fgets(piece, sizeof piece, file) != nullptr) {
        if (!HandlePiece(state, piece, config))
            return kReadConfigOutOfMemory;
    }
    return kReadConfigRead;
}

extern "C" int ReadConfig(const char* fileName, DriverConfig* config)
{
    const vr::UniqueCFile file(std::fopen(fileName, "r"));
    if (!file) {
        char message[64 + kFieldSize];
        std::snprintf(message, sizeof message, "cannot open config file: %s\n", fileName);
        ShowError(message);
        return kReadConfigCannotOpen;
    }
    return ReadConfigStream(file.get(), config);
}
