// vorUvez.exe -pluginCaching 0|1
// Stores PluginCacheEnabled in the machine settings. Started elevated by
// VRC_SetPluginCaching, since from Windows 6 on only an administrator may
// write the machine settings. Exit codes: 0 stored, 1 command line not
// understood (nothing changed), 2 the setting could not be stored.
#include "vrcommon.h"

#include <cwchar>

#include "platform/system_library.h"

namespace {

constexpr int kStored = 0;
constexpr int kUsage = 1;
constexpr int kNotStored = 2;

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    // Started elevated from the product's folder: a DLL of a system name
    // planted there must not be loaded with administrator rights.
    vr::platform::restrictDllSearchToSystemFolder();
    if (argc != 3 || std::wcscmp(argv[1], L"-pluginCaching") != 0)
        return kUsage;
    DWORD value = 0;
    if (std::wcscmp(argv[2], L"0") == 0)
        value = 0;
    else if (std::wcscmp(argv[2], L"1") == 0)
        value = 1;
    else
        return kUsage;
    return VRC_SetPluginCacheEnabled(value) ? kStored : kNotStored;
}
