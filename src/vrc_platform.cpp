// The plug-in caching switch and the platform probes: Windows version,
// Compatibility Assistant entry, shield icon. The shell's entry points are
// bound at run time so that the runtime imports nothing from shell32.
#include "vrcommon.h"

#include "handles.h"
#include "osversion.h"

#include <shellapi.h>

#include <cwchar>

namespace {

struct LibraryFreer {
    void operator()(HMODULE module) const noexcept { FreeLibrary(module); }
};
using UniqueLibrary = std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryFreer>;

bool queryVersion(vr::osversion::Version& version) noexcept
{
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!GetVersionExW(&info))
        return false;
    version = {info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion};
    return true;
}

constexpr wchar_t kPluginCachingProgram[] = L"\\vorUvez.exe";
constexpr std::size_t kProgramPathChars = 2048;
constexpr std::size_t kParameterChars = 256;

constexpr wchar_t kCompatibilityAssistantKey[] =
    L"Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Compatibility Assistant\\Persisted";

// SHGetStockIconInfo is bound at run time, so that the library imports no shell
// entry point; the small shield icon is asked for.
using GetStockIconInfoFn = HRESULT(WINAPI*)(SHSTOCKICONID stockIconId, UINT flags, SHSTOCKICONINFO* info);
constexpr SHSTOCKICONID kStockIconShield = SIID_SHIELD;
constexpr UINT kStockIconSmallIcon = SHGSI_ICON | SHGSI_SMALLICON;
static_assert(kStockIconShield == 77 && kStockIconSmallIcon == 0x101);

const wchar_t* shieldIconLibrary = L"shell32.dll";

}  // namespace

void vr::seams::setShellLibraryForShieldIcon(const wchar_t* libraryName) noexcept
{
    shieldIconLibrary = libraryName != nullptr ? libraryName : L"shell32.dll";
}

extern "C" int VRC_IsVistaOrLater(void)
{
    vr::osversion::Version version{};
    return queryVersion(version) && vr::osversion::isVistaOrLater(version) ? 1 : 0;
}

extern "C" DWORD VRC_GetOSVersionFlags(void)
{
    vr::osversion::Version version{};
    return queryVersion(version) ? vr::osversion::flagsFor(version) : 0;
}

extern "C" int VRC_SetPluginCaching(DWORD value)
{
    // Before Windows 6 the caller may write the machine settings itself.
    if (!VRC_IsVistaOrLater())
        return VRC_SetPluginCacheEnabled(value);

    vr::UniqueHeapBlock<wchar_t> program(
        static_cast<wchar_t*>(std::calloc(kProgramPathChars, sizeof(wchar_t))));
    vr::UniqueHeapBlock<wchar_t> parameters(
        static_cast<wchar_t*>(std::calloc(kParameterChars, sizeof(wchar_t))));
    if (!program || !parameters)
        return 0;
    if (!VRC_GetInstallPath(program.get(), kProgramPathChars - 1))
        return 0;
    const std::size_t folderLength = wcsnlen(program.get(), kProgramPathChars);
    if (folderLength + std::size(kPluginCachingProgram) > kProgramPathChars)
        return 0;
    std::wmemcpy(program.get() + folderLength, kPluginCachingProgram,
                 std::size(kPluginCachingProgram));
    std::swprintf(parameters.get(), kParameterChars, L"-pluginCaching %d", static_cast<int>(value));

    UniqueLibrary shell(LoadLibraryW(L"shell32.dll"));
    if (!shell)
        return 0;
    auto shellExecuteEx = reinterpret_cast<BOOL(WINAPI*)(SHELLEXECUTEINFOW*)>(
        reinterpret_cast<void*>(GetProcAddress(shell.get(), "ShellExecuteExW")));
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

extern "C" int VRC_SetCompatibilityPersisted(const wchar_t* programPath)
{
    // The value name is the path: without one there is nothing to record.
    if (programPath == nullptr || programPath[0] == L'\0')
        return 0;
    HKEY opened = nullptr;
    DWORD disposition = 0;
    wchar_t keyClass[] = L"LocalSystem";
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kCompatibilityAssistantKey, 0, keyClass, 0, KEY_WRITE,
                        nullptr, &opened, &disposition) != ERROR_SUCCESS ||
        opened == nullptr)
        return 0;
    vr::UniqueRegistryKey key(opened);
    const DWORD one = 1;
    RegSetValueExW(key.get(), programPath, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one),
                   sizeof(one));
    return 1;
}

extern "C" HICON VRC_GetShieldIcon(void)
{
    UniqueLibrary shell(LoadLibraryW(shieldIconLibrary));
    if (!shell)
        return nullptr;
    auto getStockIconInfo = reinterpret_cast<GetStockIconInfoFn>(
        reinterpret_cast<void*>(GetProcAddress(shell.get(), "SHGetStockIconInfo")));
    if (getStockIconInfo == nullptr)
        return nullptr;
    SHSTOCKICONINFO info{};
    info.cbSize = sizeof(info);
    if (getStockIconInfo(kStockIconShield, kStockIconSmallIcon, &info) != S_OK)
        return nullptr;
    return info.hIcon;
}
