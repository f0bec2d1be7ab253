// Named mutexes and the UI lock, between threads and between processes.
#include "vrcommon.h"

#include "driver_log_capture.h"
#include "registry_state.h"
#include "helper_programs.h"

#include <aclapi.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <thread>

namespace {

using namespace vr::test;

// A helper process holding the UI lock until release() or its end.
class LockHolder {
public:
    explicit LockHolder(bool giveBack, const wchar_t* tag = L"")
    {
        const std::wstring base = L"sys_lock_" + std::to_wstring(GetCurrentProcessId()) + tag;
        readyName_ = base + L"_ready";
        releaseName_ = base + L"_release";
        ready_ = CreateEventW(nullptr, TRUE, FALSE, readyName_.c_str());
        release_ = CreateEventW(nullptr, TRUE, FALSE, releaseName_.c_str());
        process_ = startProgram(helperPath(),
                                L"hold " + readyName_ + L" " + releaseName_ + (giveBack ? L" release" : L" abandon"))
                       .process.release();
    }
    bool holding() const
    {
        HANDLE both[] = {ready_, process_};
        return process_ != nullptr && WaitForMultipleObjects(2, both, FALSE, 20000) == WAIT_OBJECT_0;
    }
    // Lets the helper give the lock back (or abandon it) and end.
    void release()
    {
        SetEvent(release_);
        if (process_ != nullptr)
            WaitForSingleObject(process_, 20000);
    }
    ~LockHolder()
    {
        release();
        CloseHandle(process_);
        CloseHandle(ready_);
        CloseHandle(release_);
    }

private:
    std::wstring readyName_, releaseName_;
    HANDLE ready_ = nullptr, release_ = nullptr, process_ = nullptr;
};

bool mutexExists(const wchar_t* name)
{
    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, name);
    if (mutex == nullptr)
        return false;
    CloseHandle(mutex);
    return true;
}

class UILock : public ::testing::Test {
protected:
    void SetUp() override { setSettingDword(HKEY_LOCAL_MACHINE, L"Server", 0); }
    SavedValue server_{HKEY_LOCAL_MACHINE, kSettingsKey, L"Server"};
};

TEST_F(UILock, HeldByAnotherProcessIsRefusedThenObtainedOnceReleased)
{
    LockHolder holder(true);
    ASSERT_TRUE(holder.holding());

    const ULONGLONG started = GetTickCount64();
    EXPECT_EQ(VRC_LockUI(0), nullptr);
    EXPECT_LT(GetTickCount64() - started, 4000u);
    EXPECT_EQ(VRC_LockUI(200), nullptr);

    holder.release();
    HANDLE lock = VRC_LockUI(5000);
    ASSERT_NE(lock, nullptr);
    // Now this process holds it, and the helper is refused in turn.
    EXPECT_EQ(runHelper(L"try 0"), 3);
    EXPECT_EQ(VRC_UnlockUI(lock), 1);
    EXPECT_EQ(runHelper(L"try 0"), 0);
}

TEST_F(UILock, AnotherThreadHoldingItRefusesAndWaitingOutlastsIt)
{
    HANDLE taken = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread owner([&] {
        HANDLE lock = VRC_LockUI(INFINITE);
        SetEvent(taken);
        Sleep(300);
        VRC_UnlockUI(lock);
    });
    WaitForSingleObject(taken, 5000);
    EXPECT_EQ(VRC_LockUI(0), nullptr);
    HANDLE lock = VRC_LockUI(10000);
    EXPECT_NE(lock, nullptr);
    VRC_UnlockUI(lock);
    owner.join();
    CloseHandle(taken);
}

TEST_F(UILock, AbandonedLockIsObtainedAndNotLeftHeld)
{
    {
        LockHolder holder(false);
        ASSERT_TRUE(holder.holding());
        holder.release();  // the helper ends still owning the lock
    }
    HANDLE lock = VRC_LockUI(0);
    ASSERT_NE(lock, nullptr);
    EXPECT_EQ(runHelper(L"try 0"), 3);
    VRC_UnlockUI(lock);
    EXPECT_EQ(runHelper(L"try 0"), 0);

    // The same for a thread of this process.
    HANDLE abandoned = nullptr;
    std::thread([&] { abandoned = VRC_LockUI(0); }).join();
    ASSERT_NE(abandoned, nullptr);
    lock = VRC_LockUI(0);
    ASSERT_NE(lock, nullptr);
    VRC_UnlockUI(lock);
    CloseHandle(abandoned);
    EXPECT_EQ(runHelper(L"try 0"), 0);
}

TEST_F(UILock, ServerModeMovesTheLockToTheGlobalScope)
{
    {
        LockHolder holder(true, L"local");
        ASSERT_TRUE(holder.holding());
        EXPECT_TRUE(mutexExists(L"Local\\ServerMode_LockUI"));
        EXPECT_FALSE(mutexExists(L"Global\\ServerMode_LockUI"));
    }

    setSettingDword(HKEY_LOCAL_MACHINE, L"Server", 1);
    LockHolder holder(true, L"global");
    ASSERT_TRUE(holder.holding());
    EXPECT_TRUE(mutexExists(L"Global\\ServerMode_LockUI"));
    EXPECT_FALSE(mutexExists(L"Local\\ServerMode_LockUI"));
    EXPECT_EQ(VRC_LockUI(0), nullptr);

    // Outside server mode the session's own lock is a different object.
    setSettingDword(HKEY_LOCAL_MACHINE, L"Server", 0);
    HANDLE local = VRC_LockUI(0);
    EXPECT_NE(local, nullptr);
    VRC_UnlockUI(local);
}

TEST(NamedMutex, CreatedNotOwnedOpenToEveryoneAndOpenedWhenItExists)
{
    HANDLE first = VRC_CreateMutex(L"sys_mutex_shared");
    ASSERT_NE(first, nullptr);
    // Not owned: another thread can take it at once.
    DWORD waited = WAIT_FAILED;
    std::thread([&] {
        waited = WaitForSingleObject(first, 0);
        ReleaseMutex(first);
    }).join();
    EXPECT_EQ(waited, WAIT_OBJECT_0);

    HANDLE second = VRC_CreateMutex(L"sys_mutex_shared");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));

    PACL dacl = reinterpret_cast<PACL>(1);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(GetSecurityInfo(first, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                              &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(dacl, nullptr);  // a null DACL grants every account full access
    LocalFree(descriptor);

    EXPECT_EQ(VRC_UnlockUI(nullptr), 1);
    CloseHandle(second);
    CloseHandle(first);
}

TEST(NamedMutex, ScopedNameTakenByAnotherObjectFallsBackToTheBareName)
{
    SavedValue server(HKEY_LOCAL_MACHINE, kSettingsKey, L"Server");
    setSettingDword(HKEY_LOCAL_MACHINE, L"Server", 1);
    DriverLogCapture log;
    // Something that is not a mutex already has the global name.
    HANDLE squatter = CreateSemaphoreW(nullptr, 1, 1, L"Global\\sys_mutex_taken");
    ASSERT_NE(squatter, nullptr);

    HANDLE mutex = VRC_CreateMutex(L"sys_mutex_taken");
    ASSERT_NE(mutex, nullptr);
    EXPECT_TRUE(mutexExists(L"sys_mutex_taken"));
    EXPECT_THAT(log.text(), ::testing::HasSubstr("REL    VRC_CreateMutex: ERROR - Could not create mutex "
                                                 "'Global\\sys_mutex_taken'. GetLastError=6\r\n"));
    CloseHandle(mutex);

    // Outside server mode the bare name is the session's own, which the
    // semaphore holds too: both attempts fail and both are reported.
    setSettingDword(HKEY_LOCAL_MACHINE, L"Server", 0);
    HANDLE local = CreateSemaphoreW(nullptr, 1, 1, L"Local\\sys_mutex_taken2");
    EXPECT_EQ(VRC_CreateMutex(L"sys_mutex_taken2"), nullptr);
    EXPECT_THAT(log.text(), ::testing::HasSubstr("Could not create mutex 'Local\\sys_mutex_taken2'. GetLastError=6"));
    EXPECT_THAT(log.text(), ::testing::HasSubstr("Could not create mutex 'sys_mutex_taken2'. GetLastError=6"));
    CloseHandle(local);
    CloseHandle(squatter);
}

// Points one import of this program (the runtime is linked into it) at
// another function until destruction.
class ImportOverride {
public:
    ImportOverride(const char* name, void* replacement)
    {
        auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
        const auto* nt =
            reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
        const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        for (auto* library = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
             library->Name != 0 && slot_ == nullptr; ++library) {
            if (library->OriginalFirstThunk == 0)
                continue;
            auto* names = reinterpret_cast<const IMAGE_THUNK_DATA64*>(base + library->OriginalFirstThunk);
            auto* slots = reinterpret_cast<IMAGE_THUNK_DATA64*>(base + library->FirstThunk);
            for (; names->u1.AddressOfData != 0; ++names, ++slots) {
                if (IMAGE_SNAP_BY_ORDINAL64(names->u1.Ordinal))
                    continue;
                const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
                if (std::strcmp(reinterpret_cast<const char*>(byName->Name), name) == 0) {
                    slot_ = &slots->u1.Function;
                    break;
                }
            }
        }
        if (slot_ == nullptr)
            return;
        original_ = *slot_;
        write(reinterpret_cast<ULONGLONG>(replacement));
    }
    ~ImportOverride()
    {
        if (slot_ != nullptr)
            write(original_);
    }
    ImportOverride(const ImportOverride&) = delete;
    ImportOverride& operator=(const ImportOverride&) = delete;

    bool applied() const { return slot_ != nullptr; }
    void* original() const { return reinterpret_cast<void*>(original_); }

private:
    void write(ULONGLONG address)
    {
        DWORD former = 0;
        VirtualProtect(slot_, sizeof *slot_, PAGE_READWRITE, &former);
        *slot_ = address;
        VirtualProtect(slot_, sizeof *slot_, former, &former);
    }
    ULONGLONG* slot_ = nullptr;
    ULONGLONG original_ = 0;
};

// calloc failing for one block size only, as the heap does when it is exhausted.
std::size_t refusedCallocBytes = 0;
void* (*realCalloc)(std::size_t, std::size_t) = nullptr;

void* callocRefusingOneSize(std::size_t count, std::size_t size)
{
    if (count * size == refusedCallocBytes) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return realCalloc(count, size);
}

TEST(NamedMutex, NoMemoryForTheScopedNameIsReportedAndTheBareNameServes)
{
    SavedValue server(HKEY_LOCAL_MACHINE, kSettingsKey, L"Server");
    setSettingDword(HKEY_LOCAL_MACHINE, L"Server", 0);
    DriverLogCapture log;
    const std::wstring name = L"sys_mutex_no_memory_" + std::to_wstring(GetCurrentProcessId());
    HANDLE mutex = nullptr;
    {
        ImportOverride calloc("calloc", reinterpret_cast<void*>(&callocRefusingOneSize));
        ASSERT_TRUE(calloc.applied()) << "calloc is not imported by this program";
        realCalloc = reinterpret_cast<void* (*)(std::size_t, std::size_t)>(calloc.original());
        // The scoped name's block: two bytes per character and 64 more.
        refusedCallocBytes = 2 * name.size() + 64;
        mutex = VRC_CreateMutex(name.c_str());
        refusedCallocBytes = 0;
    }
    ASSERT_NE(mutex, nullptr);
    EXPECT_TRUE(mutexExists(name.c_str()));
    EXPECT_THAT(log.text(),
                ::testing::HasSubstr("REL    VRC_CreateMutex: ERROR - Could not create mutex. GetLastError=8\r\n"));
    CloseHandle(mutex);
}

}  // namespace
