// Any configuration file: every field stays a terminated string of at most
// 259 characters, the dependent-file list holds exactly its count, and
// every dependent-file name is judged within its buffer.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "code_page_text.h"
#include "core_fakes.h"
#include "platform/c_file.h"

namespace {

void CheckText(const char* text)
{
    if (strnlen(text, kFieldSize) > kMaxFieldLength)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ResetCore();
    // Every few inputs, growing the list fails, so that path is explored too.
    if (size > 0 && data[0] == '!')
        gFakes.growthsBeforeFailure = data[size - 1] % 3;

    DriverConfig config;
    if (!InitConfig(&config))
        return 0;
    static char empty[1];
    const vr::UniqueCFile file(size != 0 ? fmemopen(const_cast<std::uint8_t*>(data), size, "r")
                                         : fmemopen(empty, 0, "r"));
    if (file) {
        const int result = ReadConfigStream(file.get(), &config);
        if (result != kReadConfigRead && result != kReadConfigOutOfMemory)
            std::abort();
    }
    for (const char* field :
         {config.DriverName, config.Platform, config.ConfigFile, config.DataFile, config.DefaultDataType,
          config.DriverDir, config.DriverFile, config.HelpFile, config.MonitorFile})
        CheckText(field);
    if (config.DependentFileCount >= config.DependentFileCapacity)
        std::abort();
    for (std::uint32_t i = 0; i < config.DependentFileCount; ++i)
        CheckText(config.DependentFiles[i]);
    // Any name read is judged without reading past it, in any of the code
    // pages the check is known to meet.
    constexpr unsigned kCodePages[] = {1252, 932, 65001};
    DependentFilesStayInDirectory(&config, NameDecoder{kCodePages[size % 3], vr::test::decodeCodePage});
    FreeDependentFiles(config.DependentFiles);
    return 0;
}
