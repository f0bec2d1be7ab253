// Pool tests over the recording heap: each starts with no block of an earlier
// test left and with fresh counts, and leaves the heap failing nothing.
#pragma once

#include <gtest/gtest.h>

#include "pool_recording_heap.h"

namespace vr::test {

class RecordingHeapTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        heap().resetCounts();
        ASSERT_TRUE(heap().live.empty()) << heap().live.size() << " C-heap blocks left by an earlier test";
    }
    void TearDown() override { heap().resetCounts(); }
    static RecordingHeap& heap() { return RecordingHeap::instance(); }
};

}  // namespace vr::test
