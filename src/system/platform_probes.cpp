// The platform probes: Windows version, WOW64 and the native processor, the
// Compatibility Assistant entry, the shield icon. The shell's entry points are
// bound at run time so that the runtime imports nothing from shell32.
#include "vrcommon.h"

#include "platform/current_user_hive.h"
#include "platform/handles.h"
#include "platform/system_library.h"
#include "system/system_seams.h"
#include "system/windows_version_query.h"

#include <shellapi.h>

#include <cwchar>

namespace {

constexpr wchar_t kCompatibilityAssistantKey[] =
    L"Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Compatibility Assistant\\Persisted";

// SHGetStockIconInfo is bound at run time, so that the library imports no shell
// entry point; the small shield icon is asked for.
using GetStockIconInfoFn = HRESULT(WINAPI*)(SHSTOCKICONID stockIconId, UINT flags, SHSTOCKICONINFO* info);
constexpr SHSTOCKICONID kStockIconShield = SIID_SHIELD;
constexpr UINT kStockIconSmallIcon = SHGSI_ICON | SHGSI_SMALLICON;
static_assert(kStockIconShield == 77 && kStockIconSmallIcon == 0x101);

const wchar_t* shieldIconLibrary = L"shell32.dll";

// The version families of the public header are the core's flags.
namespace osv = vr::system::osversion;
static_assert(VRC_OS_WIN32S == osv::kFlagWin32s && VRC_OS_WIN95 == osv::kFlagWindows95 &&
              VRC_OS_WIN98 == osv::kFlagWindows98 && VRC_OS_WINME == osv::kFlagWindowsMe &&
              VRC_OS_NT4 == osv::kFlagNT4 && VRC_OS_WIN2000 == osv::kFlagWindows2000 &&
              VRC_OS_WINXP == osv::kFlagWindowsXP && VRC_OS_WIN2003 == osv::kFlagWindows2003 &&
              VRC_OS_LATER_NT == osv::kFlagLaterNT);

}  // namespace

void vr::system::setShellLibraryForShieldIcon(const wchar_t* libraryName) noexcept
{
    shieldIconLibrary = libraryName != nullptr ? libraryName : L"shell32.dll";
}

extern "C" int VRC_IsVistaOrLater(void)
{
    vr::system::osversion::Version version{};
    return vr::system::osversion::queryRunningVersion(version) && vr::system::osversion::isVistaOrLater(version) ? 1
                                                                                                                 : 0;
}

extern "C" DWORD VRC_GetOSVersionFlags(void)
{
    vr::system::osversion::Version version{};
    return vr::system::osversion::queryRunningVersion(version) ? vr::system::osversion::flagsFor(version) : 0;
}

extern "C" int VRC_SetCompatibilityPersisted(const wchar_t* programPath)
{
    // The value name is the path: without one there is nothing to record.
    if (programPath == nullptr || programPath[0] == L'\0')
        return 0;
    // In the hive of the user the calling thread runs as.
    const vr::platform::CurrentUserHive hive = vr::platform::openCurrentUserHive();
    if (!hive.key)
        return 0;
    vr::UniqueRegistryKey key;
    DWORD disposition = 0;
    wchar_t keyClass[] = L"LocalSystem";
    if (RegCreateKeyExW(hive.key.get(), kCompatibilityAssistantKey, 0, keyClass, 0, KEY_WRITE, nullptr, vr::put(key),
                        &disposition) != ERROR_SUCCESS)
        return 0;
    const DWORD one = 1;
    RegSetValueExW(key.get(), programPath, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof(one));
    return 1;
}

extern "C" HICON VRC_GetShieldIcon(void)
{
    vr::UniqueLibrary shell(vr::platform::loadSystemLibrary(shieldIconLibrary));
    const auto getStockIconInfo = vr::bind<GetStockIconInfoFn>(shell.get(), "SHGetStockIconInfo");
    if (getStockIconInfo == nullptr)
        return nullptr;
    SHSTOCKICONINFO info{};
    info.cbSize = sizeof(info);
    if (getStockIconInfo(kStockIconShield, kStockIconSmallIcon, &info) != S_OK)
        return nullptr;
    return info.hIcon;
}

extern "C" int VRC_IsWow64(void)
{
    using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, PBOOL);
    const HMODULE kernel = GetModuleHandleW(L"kernel32");
    if (!kernel)
        return 0;
    const auto isWow64Process = vr::bind<IsWow64ProcessFunction>(kernel, "IsWow64Process");
    BOOL wow64 = FALSE;
    if (isWow64Process)
        isWow64Process(GetCurrentProcess(), &wow64);
    return wow64;
}

extern "C" int VRC_IsNativeAMD64(void)
{
    SYSTEM_INFO info{};
    GetNativeSystemInfo(&info);
    return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
}
