// Prints what the local spooler holds for one printer driver:
//   KelvaneDrivers.exe "<driver name>" [environment]
// Exit code 0 when the driver is listed, 1 when it is not.
#include <windows.h>
#include <winspool.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

const char* Text(const char* value) { return value ? value : ""; }

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: KelvaneDrivers.exe \"<driver name>\" [environment]\n");
        return 2;
    }
    char* environment = const_cast<char*>(argc > 2 ? argv[2] : "Windows x64");
    DWORD needed = 0;
    DWORD count = 0;
    EnumPrinterDriversA(nullptr, environment, 3, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed ? needed : 1);
    if (!EnumPrinterDriversA(nullptr, environment, 3, buffer.data(), needed, &needed, &count))
        count = 0;
    const auto* drivers = reinterpret_cast<const DRIVER_INFO_3A*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        if (drivers[i].pName == nullptr || std::strcmp(drivers[i].pName, argv[1]) != 0)
            continue;
        const DRIVER_INFO_3A& driver = drivers[i];
        std::printf("driver            %s (%s, version %lu)\n", driver.pName, Text(driver.pEnvironment),
                    static_cast<unsigned long>(driver.cVersion));
        std::printf("driver file       %s\n", Text(driver.pDriverPath));
        std::printf("data file         %s\n", Text(driver.pDataFile));
        std::printf("configuration     %s\n", Text(driver.pConfigFile));
        std::printf("help file         %s\n", Text(driver.pHelpFile));
        std::printf("default data type %s\n", Text(driver.pDefaultDataType));
        for (const char* file = driver.pDependentFiles; file && *file; file += std::strlen(file) + 1)
            std::printf("dependent file    %s\n", file);
        return 0;
    }
    std::printf("no driver \"%s\" for %s\n", argv[1], environment);
    return 1;
}
