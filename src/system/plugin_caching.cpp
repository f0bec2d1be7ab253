// The plug-in caching switch: stored machine-wide, from Windows 6 on through the
// elevated companion program vorUvez.exe of the installation folder.
#include "vrcommon.h"

#include <shellapi.h>

#include <cwchar>

#include "platform/handles.h"
#include "platform/system_library.h"

namespace {

constexpr wchar_t kPluginCachingProgram[] = L"\\vorUvez.exe";
constexpr std::size_t kProgramPathChars = 2048;
constexpr std::size_t kParameterChars = 256;

}  // namespace

extern "C" int VRC_SetPluginCaching(DWORD value)
{
    // Before Windows 6 the caller may write the machine settings itself.
    if (!VRC_IsVistaOrLater())
        return VRC_SetPluginCacheEnabled(value);

    vr::UniqueHeapBlock<wchar_t> program(static_cast<wchar_t*>(std::calloc(kProgramPathChars, sizeof(wchar_t))));
    vr::UniqueHeapBlock<wchar_t> parameters(static_cast<wchar_t*>(std::calloc(kParameterChars, sizeof(wchar_t))));
    if (!program || !parameters)
        return 0;
    if (!VRC_GetInstallPath(program.get(), kProgramPathChars - 1))
        return 0;
    const std::size_t folderLength = wcsnlen(program.get(), kProgramPathChars);
    if (folderLength + std::size(kPluginCachingProgram) > kProgramPathChars)
        return 0;
    std::wmemcpy(program.get() + folderLength, kPluginCachingProgram, std::size(kPluginCachingProgram));
    std::swprintf(parameters.get(), kParameterChars, L"-pluginCaching %d", static_cast<int>(value));

    vr::UniqueLibrary shell(vr::platform::loadSystemLibrary(L"shell32.dll"));
    const auto shellExecuteEx = vr::bind<decltype(&ShellExecuteExW)>(shell.get(), "ShellExecuteExW");
    if (shellExecuteEx == nullptr)
        return 0;

    // The machine settings need administrator rights from Windows 6 on: the
    // program is started elevated, and a user who declines makes this fail.
    SHELLEXECUTEINFOW request{};
    request.cbSize = sizeof(request);
    request.fMask = SEE_MASK_NOCLOSEPROCESS;
    request.hwnd = nullptr;
    request.lpVerb = L"runas";
    request.lpFile = program.get();
    request.lpParameters = parameters.get();
    request.lpDirectory = nullptr;
    request.nShow = SW_HIDE;
    if (!shellExecuteEx(&request))
        return 0;
    if (request.hProcess != nullptr) {
        vr::UniqueHandle process(request.hProcess);
        WaitForSingleObject(process.get(), INFINITE);
    }
    return 1;
}
