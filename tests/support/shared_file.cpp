#include "shared_file.h"

#include <windows.h>

#include "platform/handles.h"

namespace vr::test {

std::string readSharedFile(const std::wstring& path, long long from)
{
    const UniqueHandle file =
        adoptFileHandle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER start;
    start.QuadPart = from;
    if (!file || !SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN))
        return {};
    std::string text;
    char block[65536];
    DWORD read = 0;
    while (ReadFile(file.get(), block, sizeof block, &read, nullptr) && read > 0)
        text.append(block, read);
    return text;
}

}  // namespace vr::test
