// Files that the code under test may still hold open, write to, rename or
// delete while a test reads them back.
#pragma once

#include <string>

namespace vr::test {

// The file as it stands from byte `from` on (the whole file by default), read
// without denying its writer anything; empty when the file cannot be opened.
std::string readSharedFile(const std::wstring& path, long long from = 0);

}  // namespace vr::test
