// The message boxes a Kelvane run showed, as the tests that run it expect them.
#pragma once

#include <gmock/gmock.h>

#include <string>

#include "kelvane_harness.h"

namespace vr::test {

// A box shown without a caption carries the system's default title.
inline constexpr char kDefaultCaption[] = "Error";

inline auto Box(const std::string& caption, const std::string& text)
{
    return ::testing::AllOf(::testing::Field(&MessageBoxSeen::caption, caption),
                            ::testing::Field(&MessageBoxSeen::text, text));
}

inline auto ErrorBox(const std::string& text) { return Box(kDefaultCaption, text); }

}  // namespace vr::test
