// A host loading and unloading a component that links the runtime, as the
// spooler does for each job: what the runtime held goes with the component.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "process_usage.h"
#include "trace_support.h"
#include "wine_paths.h"

using namespace vr::test;

namespace {

constexpr int kRounds = 50;

// How much the process grows over kRounds loads of the DLL, each running its
// threads; the first round (one-time growth of the heap and the loader's
// records) is not counted.
ProcessUsage growthOver(const char* dll)
{
    const std::wstring path = windowsPath(std::string(VR_TEST_DIR "/") + dll);
    const auto round = [&path] {
        HMODULE module = LoadLibraryW(path.c_str());
        EXPECT_NE(module, nullptr);
        if (module == nullptr)
            return;
        const auto run = reinterpret_cast<int (*)()>(reinterpret_cast<void*>(GetProcAddress(module, "RunThreads")));
        EXPECT_EQ(run != nullptr ? run() : 0, 4);
        FreeLibrary(module);
    };
    round();
    const ProcessUsage before = processUsage();
    for (int i = 1; i < kRounds; ++i)
        round();
    const ProcessUsage after = processUsage();
    return {after.committedPrivateBytes - before.committedPrivateBytes, after.nextHandleValue - before.nextHandleValue};
}

}  // namespace

TEST(RuntimeUnload, EachUnloadGivesBackWhatTheRuntimeHeld)
{
    removeLogs();
    const ProcessUsage control = growthOver("unload_control.dll");
    const ProcessUsage traced = growthOver("unload_traced.dll");
    // Both link the C++ runtime, whose own blocks stay behind each unload:
    // only the difference counts. One thread context alone is larger than the
    // memory margin; a handle left per round would pass the handle margin.
    constexpr long long kMemoryMargin = 256 * 1024;
    constexpr long long kHandleMargin = 4 * 16;
    EXPECT_LE(traced.committedPrivateBytes, control.committedPrivateBytes + kMemoryMargin)
        << "traced " << traced.committedPrivateBytes << ", control " << control.committedPrivateBytes;
    EXPECT_LE(traced.nextHandleValue, control.nextHandleValue + kHandleMargin)
        << "traced " << traced.nextHandleValue << ", control " << control.nextHandleValue;
    // The components really traced (lines that met another thread's append
    // are lost, as between any two writers).
    EXPECT_GE(readLines(driverLogPath()).size(), std::size_t{kRounds});
}
