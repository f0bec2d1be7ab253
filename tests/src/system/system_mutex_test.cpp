// Named mutexes and the UI lock, between threads and between processes.
#include "vrcommon.h"

#include "system_support.h"

#include <aclapi.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>

namespace {

using systest::helperPath;
using systest::runHelper;

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
        process_ = systest::start(helperPath(), L"hold " + readyName_ + L" " + releaseName_ +
                                                    (giveBack ? L" release" : L" abandon"));
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
    void SetUp() override { systest::setMachineDword(L"Server", 0); }
    systest::SavedValue server_{HKEY_LOCAL_MACHINE, systest::kSettingsKey, L"Server"};
};

TEST_F(UILock, HeldByAnotherProcessIsRefusedThenObtainedOnceReleased)
{
    LockHolder holder(true);
    ASSERT_TRUE(holder.holding());

    const ULONGLONG started = GetTickCount64();
    EXPECT_EQ(VRC_LockUI(0), nullptr);
    EXPECT_LT(GetTickCount64() - started, 1000u);
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

    systest::setMachineDword(L"Server", 1);
    LockHolder holder(true, L"global");
    ASSERT_TRUE(holder.holding());
    EXPECT_TRUE(mutexExists(L"Global\\ServerMode_LockUI"));
    EXPECT_FALSE(mutexExists(L"Local\\ServerMode_LockUI"));
    EXPECT_EQ(VRC_LockUI(0), nullptr);

    // Outside server mode the session's own lock is a different object.
    systest::setMachineDword(L"Server", 0);
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
    ASSERT_EQ(GetSecurityInfo(first, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                              &dacl, nullptr, &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(dacl, nullptr);  // a null DACL grants every account full access
    LocalFree(descriptor);

    EXPECT_EQ(VRC_UnlockUI(nullptr), 1);
    CloseHandle(second);
    CloseHandle(first);
}

// Routes the driver log of this process to a file of its own.
class DriverLog {
public:
    DriverLog()
        : path_(systest::windowsPath(VR_TEST_DIR) + L"\\system_mutex_" +
                std::to_wstring(GetCurrentProcessId()) + L".log")
    {
        DeleteFileW(path_.c_str());
        RegSetKeyValueW(HKEY_CURRENT_USER, systest::kSettingsKey, L"DriverLogFile", REG_SZ, path_.c_str(),
                        static_cast<DWORD>((path_.size() + 1) * sizeof(wchar_t)));
    }
    ~DriverLog() { DeleteFileW(path_.c_str()); }
    std::string text() const
    {
        std::string text;
        if (FILE* in = _wfopen(path_.c_str(), L"rb")) {
            char buffer[4096];
            std::size_t count;
            while ((count = std::fread(buffer, 1, sizeof buffer, in)) > 0)
                text.append(buffer, count);
            std::fclose(in);
        }
        return text;
    }

private:
    systest::SavedValue saved_{HKEY_CURRENT_USER, systest::kSettingsKey, L"DriverLogFile"};
    std::wstring path_;
};

TEST(NamedMutex, ScopedNameTakenByAnotherObjectFallsBackToTheBareName)
{
    systest::SavedValue server(HKEY_LOCAL_MACHINE, systest::kSettingsKey, L"Server");
    systest::setMachineDword(L"Server", 1);
    DriverLog log;
    // Something that is not a mutex already has the global name.
    HANDLE squatter = CreateSemaphoreW(nullptr, 1, 1, L"Global\\sys_mutex_taken");
    ASSERT_NE(squatter, nullptr);

    HANDLE mutex = VRC_CreateMutex(L"sys_mutex_taken");
    ASSERT_NE(mutex, nullptr);
    EXPECT_TRUE(mutexExists(L"sys_mutex_taken"));
    EXPECT_THAT(log.text(), ::testing::HasSubstr(
                                "REL    VRC_CreateMutex: ERROR - Could not create mutex "
                                "'Global\\sys_mutex_taken'. GetLastError=6\r\n"));
    CloseHandle(mutex);

    // Outside server mode the bare name is the session's own, which the
    // semaphore holds too: both attempts fail and both are reported.
    systest::setMachineDword(L"Server", 0);
    HANDLE local = CreateSemaphoreW(nullptr, 1, 1, L"Local\\sys_mutex_taken2");
    EXPECT_EQ(VRC_CreateMutex(L"sys_mutex_taken2"), nullptr);
    EXPECT_THAT(log.text(), ::testing::HasSubstr("Could not create mutex 'Local\\sys_mutex_taken2'. GetLastError=6"));
    EXPECT_THAT(log.text(), ::testing::HasSubstr("Could not create mutex 'sys_mutex_taken2'. GetLastError=6"));
    CloseHandle(local);
    CloseHandle(squatter);
}

}  // namespace
