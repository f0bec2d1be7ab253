#include "shared_file.h"

#include <windows.h>

#include <winioctl.h>

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

bool setFileSize(const std::wstring& path, long long size)
{
    const UniqueHandle file =
        adoptFileHandle(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr));
    if (!file)
        return false;
    DWORD returned = 0;
    DeviceIoControl(file.get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = size;
    return SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) && SetEndOfFile(file.get());
}

long long fileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace vr::test
