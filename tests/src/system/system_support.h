// Shared by the system-object tests and their helper program: where the
// helper is, running it, and the texts the atom tests pack.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "child_program.h"
#include "wine_paths.h"

namespace vr::test {

inline std::wstring helperPath(const wchar_t* program = L"system_helper.exe")
{
    return windowsPath(VR_TEST_DIR) + L"\\" + program;
}

inline long runHelper(const std::wstring& arguments) { return runProgram(helperPath(), arguments); }

// Distinct CJK characters: no chunk of one text matches another chunk, in
// any case, of any text made with another seed.
inline std::wstring sampleText(std::size_t length, unsigned seed)
{
    std::wstring text;
    for (std::size_t i = 0; i < length; ++i)
        text.push_back(static_cast<wchar_t>(0x4E00 + seed * 2500 + i));
    return text;
}

}  // namespace vr::test
