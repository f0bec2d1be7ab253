// Named mutexes shared by the product's processes, and the UI lock built on
// one of them.
#include "vrcommon.h"

#include "platform/handles.h"
#include "platform/report.h"
#include "system/windows_version_query.h"

#include <cwchar>

namespace {

constexpr wchar_t kUILockName[] = L"ServerMode_LockUI";

bool hasSessionNamespaces() noexcept
{
    vr::system::osversion::Version version{};
    return vr::system::osversion::queryRunningVersion(version) && vr::system::osversion::hasSessionNamespaces(version);
}

}  // namespace

extern "C" HANDLE VRC_CreateMutex(const wchar_t* name)
{
    // A null DACL: every account of every session may open and wait on it.
    SECURITY_DESCRIPTOR descriptor;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
    SECURITY_ATTRIBUTES attributes{};
    attributes.nLength = sizeof(attributes);
    attributes.lpSecurityDescriptor = &descriptor;
    attributes.bInheritHandle = FALSE;

    if (name != nullptr && hasSessionNamespaces()) {
        // Server mode shares the object across the machine's sessions.
        const std::size_t nameLength = std::wcslen(name);
        const std::size_t blockBytes = 2 * nameLength + 64;
        vr::UniqueHeapBlock<wchar_t> scoped(static_cast<wchar_t*>(std::calloc(blockBytes, 1)));
        if (!scoped) {
            VRC_REPORT("VRC_CreateMutex: ERROR - Could not create mutex. GetLastError=%d",
                       static_cast<int>(GetLastError()));
        } else {
            const wchar_t* scope = VRC_IsServerMode() ? L"Global\\" : L"Local\\";
            std::swprintf(scoped.get(), blockBytes / sizeof(wchar_t), L"%ls%ls", scope, name);
            if (HANDLE mutex = CreateMutexW(&attributes, FALSE, scoped.get()))
                return mutex;
            // Creating a global object needs a right the caller may lack; the
            // bare name still gives a lock within the caller's session.
            VRC_REPORT("VRC_CreateMutex: ERROR - Could not create mutex '%S'. GetLastError=%d", scoped.get(),
                       static_cast<int>(GetLastError()));
        }
    }

    HANDLE mutex = CreateMutexW(&attributes, FALSE, name);
    if (mutex == nullptr)
        VRC_REPORT("VRC_CreateMutex: ERROR - Could not create mutex '%S'. GetLastError=%d",
                   name != nullptr ? name : L"", static_cast<int>(GetLastError()));
    return mutex;
}

extern "C" HANDLE VRC_LockUI(DWORD timeoutMs)
{
    HANDLE mutex = VRC_CreateMutex(kUILockName);
    if (mutex == nullptr)
        return nullptr;
    switch (WaitForSingleObject(mutex, timeoutMs)) {
    case WAIT_OBJECT_0:
    // The last owner ended without giving the lock back; the lock is now this
    // thread's, and the UI it guarded is free.
    case WAIT_ABANDONED:
        return mutex;
    default:
        CloseHandle(mutex);
        return nullptr;
    }
}

extern "C" int VRC_UnlockUI(HANDLE mutex)
{
    if (mutex != nullptr) {
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    }
    return 1;
}
