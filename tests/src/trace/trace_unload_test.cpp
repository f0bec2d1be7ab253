// A host loading and unloading a component that links the runtime, as the
// spooler does for each job: what the runtime held goes with the component.
#include <gtest/gtest.h>

#include <windows.h>

#include "process_usage.h"
#include "trace_log_files.h"
#include "trace_log_lines.h"
#include "wine_paths.h"

using namespace vr::test;

// Growth over 49 rounds of load, run, unload; the first round (one-time
// growth of the heap and the loader's records) is not counted.
static ProcessUsage growthOver(const char* dll)
{
    const std::wstring path = windowsPath(std::string(VR_TEST_DIR "/") + dll);
    ProcessUsage before;
    for (int round = 0; round < 50; ++round) {
        if (round == 1)
            before = processUsage();
        HMODULE module = LoadLibraryW(path.c_str());
        const auto run = reinterpret_cast<void (*)()>(reinterpret_cast<void*>(GetProcAddress(module, "RunThreads")));
        EXPECT_NE(run, nullptr);
        if (run != nullptr)
            run();
        FreeLibrary(module);
    }
    const ProcessUsage after = processUsage();
    return {after.committedPrivateBytes - before.committedPrivateBytes, after.nextHandleValue - before.nextHandleValue};
}

TEST(RuntimeUnload, EachUnloadGivesBackWhatTheRuntimeHeld)
{
    removeLogs();
    // Both link the C++ runtime, whose own blocks stay behind each unload:
    // only the difference counts. The heap's own scatter stays within the
    // memory margin, far below a thread context left per round; a handle
    // left every few rounds would pass the handle margin.
    const ProcessUsage control = growthOver("unload_control.dll"), traced = growthOver("unload_traced.dll");
    EXPECT_LE(traced.committedPrivateBytes, control.committedPrivateBytes + 1024 * 1024);
    EXPECT_LE(traced.nextHandleValue, control.nextHandleValue + 4 * 16);
    EXPECT_GE(readLines(driverLogPath()).size(), 50u) << "the component traced";
}
