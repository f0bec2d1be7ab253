// The trace file layer (FIO_*): a small record around a file handle, for
// components that read and write text files line by line. It never reports
// through the tracer, so a component may use it while it traces.
#include <cstdlib>
#include <cstring>

#include "trace/core/line_split.h"
#include "vrc_trace.h"

namespace {

struct OpenFlags {
    DWORD access;
    DWORD share;
    DWORD disposition;
    DWORD attributes;
};

constexpr OpenFlags flagsFor(int mode)
{
    switch (mode) {
    case FIO_MODE_READ:
        return {GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN};
    case FIO_MODE_CREATE:
        return {GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_FLAG_SEQUENTIAL_SCAN};
    default:  // FIO_MODE_UPDATE
        return {GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING, FILE_FLAG_RANDOM_ACCESS};
    }
}

bool isOpenFile(const FIO_FILE* file) { return file != nullptr && file->kind == FIO_KIND_FILE; }

}  // namespace

extern "C" int FIO_Open(const wchar_t* fileName, int mode, FIO_FILE** file)
{
    if (fileName == nullptr)
        return -1;
    if (mode == FIO_MODE_EXISTS)
        return GetFileAttributesW(fileName) != INVALID_FILE_ATTRIBUTES ? 0 : -1;
    const bool opensFile = mode == FIO_MODE_READ || mode == FIO_MODE_CREATE || mode == FIO_MODE_UPDATE;
    if (file == nullptr || (!opensFile && mode != FIO_MODE_WRAP))
        return -1;

    void* handle = const_cast<wchar_t*>(fileName);
    if (opensFile) {
        const OpenFlags flags = flagsFor(mode);
        handle =
            CreateFileW(fileName, flags.access, flags.share, nullptr, flags.disposition, flags.attributes, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            return -1;
    }
    auto* record = static_cast<FIO_FILE*>(std::calloc(1, sizeof(FIO_FILE)));
    *file = record;
    if (record == nullptr) {
        // Reported as opened with no record; callers test both.
        if (opensFile)
            CloseHandle(handle);
        return 0;
    }
    record->kind = opensFile ? FIO_KIND_FILE : FIO_KIND_WRAPPED;
    record->handle = handle;
    return 0;
}

extern "C" void FIO_Close(FIO_FILE* file)
{
    if (file == nullptr)
        return;
    if (file->kind == FIO_KIND_FILE)
        CloseHandle(file->handle);
    file->handle = nullptr;
    file->kind = 0;
    std::free(file);
}

extern "C" int FIO_Read(FIO_FILE* file, void* buffer, DWORD byteCount)
{
    if (!isOpenFile(file) || buffer == nullptr)
        return -1;
    DWORD done = 0;
    if (!ReadFile(file->handle, buffer, byteCount, &done, nullptr))
        return 0;
    return static_cast<int>(done);
}

extern "C" int FIO_Write(FIO_FILE* file, const void* buffer, DWORD byteCount)
{
    if (!isOpenFile(file) || buffer == nullptr)
        return -1;
    DWORD done = 0;
    if (!WriteFile(file->handle, buffer, byteCount, &done, nullptr))
        return 0;
    return static_cast<int>(done);
}

extern "C" int FIO_Seek(FIO_FILE* file, int32_t distance, int method)
{
    if (!isOpenFile(file))
        return -1;
    return static_cast<int>(SetFilePointer(file->handle, distance, nullptr, static_cast<DWORD>(method)));
}

extern "C" int FIO_AtEnd(FIO_FILE* file)
{
    if (!isOpenFile(file))
        return 0;
    const int position = FIO_Seek(file, 0, FILE_CURRENT);
    const int end = FIO_Seek(file, 0, FILE_END);
    FIO_Seek(file, position, FILE_BEGIN);
    return position == end ? 1 : 0;
}

extern "C" char* FIO_ReadLine(char* buffer, int bufferSize, FIO_FILE* file)
{
    if (!isOpenFile(file) || buffer == nullptr || bufferSize < 1)
        return nullptr;
    const int read = FIO_Read(file, buffer, static_cast<DWORD>(bufferSize - 1));
    const vr::trace::fio::LineSplit split =
        vr::trace::fio::splitLine(buffer, read > 0 ? static_cast<std::size_t>(read) : 0);
    if (!split.hasLine)
        return nullptr;
    if (split.rewind != 0)
        FIO_Seek(file, -static_cast<int32_t>(split.rewind), FILE_CURRENT);
    return buffer;
}

extern "C" uint16_t FIO_GetWord(const void* bytes)
{
    uint16_t value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

extern "C" uint32_t FIO_GetDword(const void* bytes)
{
    uint32_t value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

extern "C" uint16_t FIO_GetWordBE(const void* bytes)
{
    const auto* b = static_cast<const unsigned char*>(bytes);
    return static_cast<uint16_t>(b[0] << 8 | b[1]);
}

extern "C" uint32_t FIO_GetDwordBE(const void* bytes)
{
    const auto* b = static_cast<const unsigned char*>(bytes);
    return uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3];
}
