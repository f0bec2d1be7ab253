#include "core_fakes.h"

#include <cstdlib>
#include <cstring>

CoreFakes gFakes;

std::vector<std::string> CoreFakes::Texts() const
{
    std::vector<std::string> texts;
    for (const ShownMessage& message : shown)
        texts.push_back(message.text);
    return texts;
}

void ResetCore()
{
    gFakes = CoreFakes{};
    SilentMode = 0;
    std::memset(ConfigFileName, 0, sizeof ConfigFileName);
}

extern "C" {

void ShowError(const char* text) { gFakes.shown.push_back({text, "", SilentMode != 0}); }

void ShowInfo(const char* text, const char* caption) { gFakes.shown.push_back({text, caption, SilentMode != 0}); }

void* AllocateDependentFiles(std::size_t bytes) { return gFakes.failFirstAllocation ? nullptr : std::calloc(1, bytes); }

void* GrowDependentFiles(void* block, std::size_t bytes)
{
    if (gFakes.growthsBeforeFailure >= 0 && gFakes.growths >= gFakes.growthsBeforeFailure)
        return nullptr;
    ++gFakes.growths;
    return std::realloc(block, bytes);
}

void FreeDependentFiles(void* block) { std::free(block); }

int InstallDriver(const DriverConfig* config)
{
    ++gFakes.installCalls;
    gFakes.installedPlatform = config->Platform;
    for (std::uint32_t i = 0; i < config->DependentFileCount; ++i)
        gFakes.installedDependentFiles.push_back(config->DependentFiles[i]);
    return gFakes.installResult;
}

}  // extern "C"
