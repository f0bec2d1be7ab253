// The tracer as hosts run it: threads that meet a failed allocation, threads
// impersonating a client, a logging semaphore that cannot be opened, lines
// routed while the settings are missing, a window station nobody sees.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "registry_state.h"
#include "trace/log_paths.h"
#include "trace/tracer_internal.h"
#include "trace_support.h"
#include "vrcommon.h"

using namespace vr::test;

namespace {

constexpr const char* kSource = "C:\\work\\src/host_sample.c";
using Lines = std::vector<std::string>;

class TracerInHosts : public ::testing::Test {
protected:
    void SetUp() override
    {
        clearDriverLogFile();
        removeLogs();
        DbgErrorLatch = 0;
    }
    void TearDown() override
    {
        vr::trace::setContextAllocator(nullptr);
        vr::trace::setWindowStationProbe(nullptr);
        vr::trace::setSemaphoreOpener(nullptr);
        vr::trace::setThreadUserLookup(nullptr);
        DbgErrorLatch = 0;
    }
};

Lines timeless(const Lines& lines)
{
    Lines out;
    for (const std::string& line : lines)
        out.push_back(withoutTime(line));
    return out;
}

// A change to a watched key: every kept path is forgotten.
void touchSettings()
{
    const DWORD one = 1;
    ASSERT_TRUE(setValue(HKEY_CURRENT_USER, kSettingsKey, L"TouchedByTest", REG_DWORD, &one, sizeof one));
    deleteValue(HKEY_CURRENT_USER, kSettingsKey, L"TouchedByTest");
}

bool debugLogTakenEarlier()
{
    wchar_t path[vr::trace::kLogPathChars];
    const vr::trace::PathLookup lookup = vr::trace::logPath(vr::trace::LogFile::Debug, path, vr::trace::kLogPathChars);
    EXPECT_TRUE(lookup.found);
    EXPECT_EQ(std::wstring(path), debugLogPath());
    return lookup.earlier;
}

}  // namespace

TEST_F(TracerInHosts, NewThreadWhoseFirstContextCannotBeAllocatedWritesThroughTheFallback)
{
    vr::trace::setContextAllocator([](std::size_t) -> void* { return nullptr; });
    std::string expected;
    bool linked = true;
    std::thread([&] {
        DBG_Print(kSource, 7, DBG_MASK_TO_LOG, DBG_Text("first message of a new thread"));
        expected = expectedHeader("host_sample.c", 7) + "first message of a new thread";
        linked = contextLinkedFor(GetCurrentThreadId());
    }).join();
    vr::trace::setContextAllocator(nullptr);
    EXPECT_EQ(timeless(readLines(debugLogPath())), Lines{expected});
    EXPECT_FALSE(linked);
}

TEST_F(TracerInHosts, OnlyThreadsRunningAsTheProcessUserUseAndFillTheKeptPaths)
{
    struct Case {
        const char* name;
        bool impersonating;
        bool anotherUser;  // the thread token's user, as the lookup reports it
        bool usesKept;
    };
    const Case cases[] = {
        {"no thread token", false, false, true},
        {"impersonating the process's own user", true, false, true},
        {"impersonating another user", true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        touchSettings();
        debugLogTakenEarlier();
        ASSERT_TRUE(debugLogTakenEarlier()) << "kept for the process's user";
        bool usedKept = false, keptAfterChange = true, filled = false;
        std::thread([&] {
            if (c.impersonating) {
                ASSERT_TRUE(ImpersonateSelf(SecurityImpersonation));
            }
            if (c.anotherUser)
                vr::trace::setThreadUserLookup([](HANDLE, void* sid, DWORD bytes) {
                    return CreateWellKnownSid(WinLocalServiceSid, nullptr, sid, &bytes) != FALSE;
                });
            usedKept = debugLogTakenEarlier();
            touchSettings();
            keptAfterChange = debugLogTakenEarlier();
            vr::trace::setThreadUserLookup(nullptr);
            RevertToSelf();
            // What the thread resolved is kept only if it ran as the process's user.
            filled = debugLogTakenEarlier();
        }).join();
        EXPECT_EQ(usedKept, c.usesKept);
        EXPECT_FALSE(keptAfterChange);
        EXPECT_EQ(filled, c.usesKept);
    }
}

TEST_F(TracerInHosts, ContextListStaysGuardedWithoutTheLoggingSemaphore)
{
    // A tag of its own: the semaphore kept for the usual tag is not used.
    const char* const usualTag = DbgModuleTag;
    DbgModuleTag = "VRCHST";
    vr::trace::setSemaphoreOpener([](const wchar_t*) -> HANDLE {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    });
    std::atomic<int> strayContexts{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&strayContexts] {
            const DWORD self = GetCurrentThreadId();
            for (int i = 0; i < 10000; ++i) {
                DBG_CONTEXT* context = DBG_GetContext();
                if (context == nullptr || DBG_GetContext() != context || !contextLinkedFor(self))
                    ++strayContexts;
                DBG_ReleaseContext();
            }
        });
    for (std::thread& t : threads)
        t.join();
    vr::trace::setSemaphoreOpener(nullptr);
    DbgModuleTag = usualTag;
    EXPECT_EQ(strayContexts.load(), 0);
    EXPECT_EQ(DbgContextList, nullptr);
}

TEST_F(TracerInHosts, RouteKeepsItsContextWhileTheSettingsAreMissing)
{
    const SavedKey machine(HKEY_LOCAL_MACHINE, kSettingsKey);
    const SavedKey user(HKEY_CURRENT_USER, kSettingsKey);
    removeKey(HKEY_LOCAL_MACHINE, kSettingsKey);
    removeKey(HKEY_CURRENT_USER, kSettingsKey);
    // The settings reads of the driver log's lookup fail and report; the
    // context must still be this thread's when the line goes on to the
    // debugger output.
    static std::atomic<int> linkedAtOutput;
    linkedAtOutput = -1;
    void* watcher = AddVectoredExceptionHandler(1, [](EXCEPTION_POINTERS* info) -> LONG {
        if (info->ExceptionRecord->ExceptionCode == DBG_PRINTEXCEPTION_C && linkedAtOutput == -1)
            linkedAtOutput = contextLinkedFor(GetCurrentThreadId()) ? 1 : 0;
        return EXCEPTION_CONTINUE_SEARCH;
    });
    const std::string line = "routed while the settings are missing\r\n";
    DBG_Route(line.c_str(), DBG_MASK_REL | DBG_MASK_TO_ODS);
    RemoveVectoredExceptionHandler(watcher);
    EXPECT_EQ(linkedAtOutput.load(), 1);
    EXPECT_FALSE(contextLinkedFor(GetCurrentThreadId())) << "given back once the line is routed";
    EXPECT_EQ(readLines(driverLogPath()), Lines{"routed while the settings are missing"});
}

TEST_F(TracerInHosts, ErrorBoxOnlyWhereTheWindowStationIsSeen)
{
    struct Case {
        const char* name;
        vr::trace::WindowStationProbe probe;
        std::size_t boxes;
    };
    const Case cases[] = {
        {"visible station", [] { return true; }, 1},
        {"service's station", [] { return false; }, 0},
    };
    int sourceLine = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        removeLogs();
        ErrorBoxCapture box;
        vr::trace::setWindowStationProbe(c.probe);
        DBG_Print(kSource, ++sourceLine, DBG_MASK_DEBUG_ERROR, DBG_Text("an error"));
        vr::trace::setWindowStationProbe(nullptr);
        EXPECT_EQ(box.texts().size(), c.boxes);
        EXPECT_EQ(timeless(readLines(debugLogPath())),
                  Lines{expectedHeader("host_sample.c", sourceLine) + "DBG    an error"});
        EXPECT_EQ(DbgErrorLatch, 0u) << "a message does not latch";
    }
}
