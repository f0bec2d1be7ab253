// Files that the code under test may still hold open, write to, rename or
// delete while a test reads them back.
#pragma once

#include <string>

namespace vr::test {

// The file as it stands from byte `from` on (the whole file by default), read
// without denying its writer anything; empty when the file cannot be opened.
std::string readSharedFile(const std::wstring& path, long long from = 0);

// -1 when the file is missing.
long long fileSize(const std::wstring& path);

// Grows (or creates) a file to the given size without writing its bytes:
// sparse where the file system allows it, so the grown part takes no room.
bool setFileSize(const std::wstring& path, long long size);

}  // namespace vr::test
