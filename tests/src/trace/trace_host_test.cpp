// The tracer as hosts run it: a failed first allocation, impersonating
// threads, no logging semaphore, routing without settings, an unseen station,
// lines traced after the runtime let go of what it held.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "other_user.h"
#include "platform/window_station.h"
#include "registry_state.h"
#include "trace/log_paths.h"
#include "trace/tracer_seams.h"
#include "trace_log_files.h"
#include "trace_log_lines.h"
#include "trace_output_capture.h"
#include "helper_programs.h"
#include "scratch_folder.h"
#include "shared_file.h"
#include "vrcommon.h"

using namespace vr::test;
using Lines = std::vector<std::string>;

namespace {

constexpr const char* kSource = "C:\\work\\src/host_sample.c";

// Whether the debug log's path came from the kept paths; any change to a
// watched key (touchSettings) forgets them.
bool debugLogKept()
{
    wchar_t path[vr::trace::kLogPathChars];
    const auto lookup = vr::trace::logPath(vr::trace::Log::Debug, path, vr::trace::kLogPathChars);
    EXPECT_EQ(lookup.found ? std::wstring(path) : L"", debugLogPath());
    return lookup.earlier;
}

void touchSettings()
{
    const DWORD one = 1;
    setValue(HKEY_CURRENT_USER, kSettingsKey, L"Touched", REG_DWORD, &one, sizeof one);
    deleteValue(HKEY_CURRENT_USER, kSettingsKey, L"Touched");
}

}  // namespace

TEST(TracerInHosts, NewThreadWhoseFirstContextCannotBeAllocatedUsesTheFallback)
{
    removeLogs();
    vr::trace::setContextAllocator([](std::size_t) -> void* { return nullptr; });
    std::string expected;
    std::thread([&] {
        DBG_Print(kSource, 7, DBG_MASK_TO_LOG, DBG_Text("first message"));
        expected = vr::trace::contextListed(GetCurrentThreadId()) ? "" : headerOf("host_sample.c", 7) + "first message";
    }).join();
    vr::trace::setContextAllocator(nullptr);
    EXPECT_EQ(timeless(readLines(debugLogPath())), Lines{expected});
}

// Another user's thread keeps paths of its own, which a change of the
// process's user's settings leaves alone; it never uses or fills the
// process's.
TEST(TracerInHosts, OnlyThreadsRunningAsTheProcessUserUseAndFillTheKeptPaths)
{
    struct Case {
        bool impersonating, anotherUser, usesKept;
    };
    const struct Hive {
        Hive() { setValue(HKEY_USERS, otherUserKey(kSettingsKey).c_str(), L"Touched", REG_SZ, L"", 2); }
        ~Hive() { removeKey(HKEY_USERS, otherUserKey().c_str()); }
    } hive;
    for (const Case c : {Case{false, false, true}, Case{true, false, true}, Case{true, true, false}}) {
        SCOPED_TRACE(testing::Message() << "impersonating " << c.impersonating << ", another user " << c.anotherUser);
        touchSettings();
        debugLogKept();
        bool used = false, keptAfterChange = true, filled = false;
        std::thread([&] {
            if (c.impersonating)
                ImpersonateSelf(SecurityImpersonation);
            if (c.anotherUser)
                vr::trace::setThreadUserLookup(otherUserLookup);
            used = debugLogKept();
            touchSettings();
            keptAfterChange = debugLogKept();
            vr::trace::setThreadUserLookup(nullptr);
            RevertToSelf();
            filled = debugLogKept();  // kept by the case's own lookup or not
        }).join();
        EXPECT_EQ(used, c.usesKept);
        EXPECT_EQ(keptAfterChange, c.anotherUser);
        EXPECT_EQ(filled, c.usesKept);
    }
}

TEST(TracerInHosts, ContextListIsGuardedByTheProcessNotTheLoggingSemaphore)
{
    const char* const usualTag = std::exchange(DbgModuleTag, "VRCHST");  // no semaphore kept for it
    // A semaphore its creator's security shuts this process out of costs the
    // threads that look up their contexts nothing: the list has its own lock.
    static std::atomic<int> opens;
    opens = 0;
    vr::trace::setSemaphoreOpener([](const wchar_t*) -> HANDLE {
        ++opens;
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    });
    std::atomic<int> stray{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&stray] {
            for (int i = 0; i < 10000; ++i) {
                DBG_CONTEXT* context = DBG_GetContext();
                stray += context == nullptr || DBG_GetContext() != context ||
                         !vr::trace::contextListed(GetCurrentThreadId());
                DBG_ReleaseContext();
            }
        });
    for (std::thread& t : threads)
        t.join();
    vr::trace::setSemaphoreOpener(nullptr);
    DbgModuleTag = usualTag;
    EXPECT_EQ(stray.load(), 0);
    EXPECT_EQ(DbgContextList, nullptr);
    EXPECT_EQ(opens.load(), 0);
}

TEST(TracerInHosts, LineTracedAfterTheRuntimeLetGoResolvesNoPath)
{
    // As from a static destructor after an unload, under the loader lock:
    // the driver log's kept path serves, the debug log had none.
    removeLogs();
    const ScratchFolder scratch("trace_released");
    const SavedValue driverLogFile(HKEY_CURRENT_USER, kSettingsKey, L"DriverLogFile");
    setDriverLogFile(scratch.path() + L"\\driver.log");
    EXPECT_EQ(waitForExit(startHelper(L"released"), 20000), 0u) << "paths resolved or memory kept after release";
    EXPECT_NE(readSharedFile(scratch.path() + L"\\driver.log").find("REL    after release"), std::string::npos);
    EXPECT_FALSE(fileExists(debugLogPath()));
}

TEST(TracerInHosts, RouteKeepsItsContextWhileTheSettingsAreMissing)
{
    removeLogs();
    const SavedKey machine(HKEY_LOCAL_MACHINE, kSettingsKey), user(HKEY_CURRENT_USER, kSettingsKey);
    removeKey(HKEY_LOCAL_MACHINE, kSettingsKey);
    removeKey(HKEY_CURRENT_USER, kSettingsKey);
    // The driver log's lookup reports the missing settings; the context is
    // still this thread's when the line goes on to the debugger output.
    static std::atomic<int> linkedAtOutput;
    linkedAtOutput = -1;
    void* watcher = AddVectoredExceptionHandler(1, [](EXCEPTION_POINTERS* info) -> LONG {
        if (info->ExceptionRecord->ExceptionCode == DBG_PRINTEXCEPTION_C && linkedAtOutput == -1)
            linkedAtOutput = vr::trace::contextListed(GetCurrentThreadId());
        return EXCEPTION_CONTINUE_SEARCH;
    });
    DBG_Route("routed\r\n", DBG_MASK_REL | DBG_MASK_TO_ODS);
    RemoveVectoredExceptionHandler(watcher);
    EXPECT_EQ(linkedAtOutput.load(), 1);
    EXPECT_FALSE(vr::trace::contextListed(GetCurrentThreadId())) << "given back once the line is routed";
    EXPECT_EQ(readLines(driverLogPath()), Lines{"routed"});
}

TEST(TracerInHosts, ErrorBoxOnlyOnAVisibleWindowStationOutsideSessionZero)
{
    // The station's flags (if known) by the process's session (if known).
    struct Case {
        vr::platform::StationFacts station;
        std::size_t boxes;
    };
    static vr::platform::StationFacts station;
    vr::trace::setWindowStationProbe([] { return vr::platform::boxesCanBeSeen(station); });
    int sourceLine = 0;
    for (const Case c :
         {Case{{true, WSF_VISIBLE, true, 1}, 1}, Case{{true, 0, true, 1}, 0}, Case{{false, 0, true, 1}, 1},
          Case{{true, WSF_VISIBLE, true, 0}, 0}, Case{{true, 0, true, 0}, 0}, Case{{false, 0, true, 0}, 0},
          Case{{true, WSF_VISIBLE, false, 0}, 1}, Case{{true, 0, false, 0}, 0}}) {
        removeLogs();
        ErrorBoxCapture box;
        station = c.station;
        DBG_Print(kSource, ++sourceLine, DBG_MASK_DEBUG_ERROR, DBG_Text("an error"));
        EXPECT_EQ(box.texts().size(), c.boxes) << sourceLine;
        EXPECT_EQ(timeless(readLines(debugLogPath())),
                  Lines{headerOf("host_sample.c", sourceLine) + "DBG    an error"});
    }
    vr::trace::setWindowStationProbe(nullptr);
    // The real queries answer for this process, a desktop program.
    const vr::platform::StationFacts real = vr::platform::processStationFacts();
    EXPECT_TRUE(real.flagsKnown && real.sessionKnown);
    EXPECT_TRUE(vr::platform::boxesCanBeSeen(real));
}
