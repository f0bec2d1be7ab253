// The build passes paths of the build machine; under Wine the same files are
// on drive Z:, with backslashes.
#pragma once

#include <string>
#include <string_view>

#include "text.h"

namespace vr::test {

inline std::string narrowWindowsPath(std::string_view unixPath)
{
    std::string path = "Z:";
    for (const char c : unixPath)
        path.push_back(c == '/' ? '\\' : c);
    return path;
}

inline std::wstring windowsPath(std::string_view unixPath) { return widen(narrowWindowsPath(unixPath)); }

}  // namespace vr::test
