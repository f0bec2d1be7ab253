// The product's data folders: the installation folder, the user's (or in
// server mode the machine's) data folder, the server log folder and the spool
// folder; each is created when missing.
#include "vrcommon.h"

#include <sddl.h>
#include <shlobj.h>

#include <atomic>
#include <span>

#include "platform/current_user_hive.h"
#include "platform/handles.h"
#include "platform/report.h"
#include "platform/runtime_entries.h"
#include "platform/thread_user.h"
#include "settings/core/settings_rules.h"
#include "settings/settings_seams.h"

namespace {

using namespace vr::settings;

bool serverMode() noexcept { return VRC_IsServerMode() != 0; }

std::span<wchar_t> callerBuffer(wchar_t* buffer, DWORD capacity) noexcept
{
    return {buffer, static_cast<std::size_t>(capacity)};
}

DWORD bytesOf(DWORD capacity) noexcept
{
    return capacity > MAXDWORD / sizeof(wchar_t) ? MAXDWORD - 1 : capacity * static_cast<DWORD>(sizeof(wchar_t));
}

// Empties the caller's buffer on a failure, so that what is left is a text.
int failFolder(wchar_t* buffer, DWORD capacity) noexcept
{
    if (buffer && capacity)
        buffer[0] = L'\0';
    return 0;
}

BOOL createDirectory(const wchar_t* path, SECURITY_ATTRIBUTES* security) { return CreateDirectoryW(path, security); }
std::atomic<vr::settings::CreateFolderFunction> serverLogFolderCreation{createDirectory};

// An existing folder counts as created, so that two processes creating the
// same folder both succeed; a file of that name does not. An existing folder
// keeps its own security.
bool createFolder(const wchar_t* path, SECURITY_ATTRIBUTES* security = nullptr,
                  vr::settings::CreateFolderFunction create = createDirectory) noexcept
{
    if (create(path, security))
        return true;
    if (GetLastError() != ERROR_ALREADY_EXISTS)
        return false;
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Appends "\<level>" (the caller has checked that it fits) and creates it.
bool appendFolderLevel(WideText& path, std::wstring_view level) noexcept
{
    path.append(L"\\");
    path.append(level);
    return createFolder(path.c_str());
}

// One of the machine environment values NVS_DATA_ROOT and NVS_DATA_LOGS, as
// stored (environment references are not expanded).
struct EnvironmentValue {
    bool found = false;
    wchar_t text[1024 + 1] = {};  // 2048 bytes are read; the extra character keeps the text terminated
};

EnvironmentValue readMachineEnvironment(const wchar_t* name) noexcept
{
    EnvironmentValue value;
    REGSAM rights = KEY_READ;
    if (VRC_IsWow64())
        rights |= KEY_WOW64_64KEY;
    vr::UniqueRegistryKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kEnvironmentKey, 0, rights, vr::put(key)) != ERROR_SUCCESS)
        return value;
    DWORD size = 1024 * sizeof(wchar_t);
    value.found = RegQueryValueExW(key.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(value.text), &size) ==
                  ERROR_SUCCESS;
    return value;
}

// A shell folder, created if needed.
bool shellFolder(int csidl, wchar_t (&path)[MAX_PATH]) noexcept
{
    const auto getFolderPath = vr::platform::shellFolderPath();
    if (!getFolderPath)
        return false;
    path[0] = L'\0';
    if (FAILED(getFolderPath(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, 0, path)))
        return false;
    path[MAX_PATH - 1] = L'\0';
    return true;
}

// A user's own shell folders are read from that user's hive: for a thread
// impersonating a user whose profile is not loaded the shell would answer
// from another user's, so that user has no data folder of its own.
bool userProfileMissing() noexcept
{
    if (vr::platform::threadUser().runsAs != vr::platform::RunsAs::OtherUser)
        return false;
    return vr::platform::openCurrentUserHive().status == ERROR_FILE_NOT_FOUND;
}

}  // namespace

void vr::settings::setServerLogFolderCreation(CreateFolderFunction function) noexcept
{
    serverLogFolderCreation = function != nullptr ? function : createDirectory;
}

extern "C" {

int VRC_GetInstallPath(wchar_t* buffer, DWORD capacity)
{
    if (!buffer || capacity < 2)
        return 0;
    // A stored installation folder is trusted as it is.
    if (VRC_GetStringValue(nullptr, nullptr, kInstallPathValue, buffer, bytesOf(capacity), 0))
        return 1;

    const DWORD length = GetEnvironmentVariableW(L"ProgramFiles", buffer, capacity);
    if (length == 0 || length >= capacity)
        return failFolder(buffer, capacity);
    if (!productPathFits(length, capacity))
        return failFolder(buffer, capacity);
    WideText path = WideText::adopt(callerBuffer(buffer, capacity));
    if (!path.append(L"\\") || !path.append(kCompanyFolder) || !path.append(L"\\") || !path.append(kProductFolder))
        return failFolder(buffer, capacity);

    WIN32_FIND_DATAW found;
    if (!vr::findFirstFile(path.c_str(), found))
        return failFolder(buffer, capacity);
    return 1;
}

int VRC_GetLogsFolder(wchar_t* buffer, DWORD capacity)
{
    if (!VRC_IsServerMode())
        return failFolder(buffer, capacity);
    if (!buffer || capacity < 2)
        return 0;
    const EnvironmentValue logs = readMachineEnvironment(kDataLogsVariable);
    if (!logs.found)
        return failFolder(buffer, capacity);

    WideText path(callerBuffer(buffer, capacity));
    if (!path.assign(logs.text))
        return failFolder(buffer, capacity);
    if (!logsPathFits(path.length(), capacity))
        return failFolder(buffer, capacity);
    // Only the product level is created: the folder NVS_DATA_LOGS names must
    // exist. Without its descriptor it is not made at all: made with the
    // parent's, it would keep the other accounts out for good.
    vr::UniqueLocalBlock<void> security;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kServerLogFolderSecurity, SDDL_REVISION_1,
                                                              vr::put(security), nullptr))
        return failFolder(buffer, capacity);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, security.get(), FALSE};
    path.append(L"\\");
    path.append(kProductFolder);
    if (!createFolder(path.c_str(), &attributes, serverLogFolderCreation.load()))
        return failFolder(buffer, capacity);
    return 1;
}

int VRC_GetUserDataFolder(wchar_t* buffer, DWORD capacity)
{
    if (!buffer || capacity < 2)
        return 0;
    const EnvironmentValue root = readMachineEnvironment(kDataRootVariable);
    const bool server = serverMode();
    const bool userPathRead = VRC_GetStringValue(nullptr, nullptr, kUserPathValue, buffer, bytesOf(capacity), 0) != 0;

    const auto span = callerBuffer(buffer, capacity);
    WideText path(span.first(0));
    const bool companyLevel = !(server && root.found);
    if (server && root.found) {
        path = WideText(span);
        if (!path.assign(root.text))
            return failFolder(buffer, capacity);
    } else if (!server && userPathRead) {
        path = WideText::adopt(span);
    } else {
        wchar_t shell[MAX_PATH];
        if ((!server && userProfileMissing()) ||
            !shellFolder(server ? CSIDL_COMMON_APPDATA : CSIDL_LOCAL_APPDATA, shell))
            return failFolder(buffer, capacity);
        path = WideText(span);
        if (!path.assign(shell))
            return failFolder(buffer, capacity);
    }

    if (!productPathFits(path.length(), capacity))
        return failFolder(buffer, capacity);
    if (companyLevel && !appendFolderLevel(path, kCompanyFolder))
        return failFolder(buffer, capacity);
    if (!appendFolderLevel(path, kProductFolder))
        return failFolder(buffer, capacity);
    return 1;
}

int VRC_GetSpoolFolder(wchar_t* buffer, DWORD capacity)
{
    if (!buffer || capacity < 2)
        return 0;
    if (!VRC_GetUserDataFolder(buffer, capacity)) {
        VRC_REPORT("**ERROR** : Failed to get user path. Therefore cannot determine spool path.");
        return 0;
    }
    WideText path = WideText::adopt(callerBuffer(buffer, capacity));
    if (!spoolSeparatorFits(path.length(), capacity)) {
        VRC_REPORT("**ERROR** : Failed to get spool path because buffer is too small.");
        return failFolder(buffer, capacity);
    }
    path.append(L"\\");
    if (!spoolNameFits(path.length(), capacity)) {
        VRC_REPORT("**ERROR** : Failed to get spool path because the buffer is too small.");
        return failFolder(buffer, capacity);
    }
    path.append(kSpoolFolder);
    if (!createFolder(path.c_str())) {
        VRC_REPORT("**ERROR** : Failed to get spool path because cannot create spool directory.");
        return failFolder(buffer, capacity);
    }
    return 1;
}

}  // extern "C"
