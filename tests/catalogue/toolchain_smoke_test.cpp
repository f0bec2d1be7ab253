#include <gtest/gtest.h>
#include <windows.h>
TEST(Toolchain, RunsUnderWine) { EXPECT_NE(GetCurrentProcessId(), 0u); }
