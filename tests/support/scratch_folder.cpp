#include "scratch_folder.h"

#include <windows.h>

#include <cstdio>

#include "file_bytes.h"
#include "platform/handles.h"
#include "text.h"

namespace vr::test {

std::string uniqueName(const std::string& stem)
{
    static unsigned serial = 0;
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, "%lx%llx%u", GetCurrentProcessId(),
                  static_cast<unsigned long long>(GetTickCount64()), ++serial);
    return stem + suffix;
}

ScratchFolder::ScratchFolder(const std::string& stem)
{
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof temp, temp);
    narrowPath_ = std::string(temp) + uniqueName(stem);
    path_ = widen(narrowPath_);
    CreateDirectoryW(path_.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder() { removeTree(path_); }

std::string ScratchFolder::write(const std::string& name, const std::string& bytes) const
{
    const std::string file = narrowPath_ + "\\" + name;
    writeFileBytes(file, bytes);
    return file;
}

void removeTree(const std::wstring& path)
{
    WIN32_FIND_DATAW found;
    if (UniqueFindHandle search = findFirstFile((path + L"\\*").c_str(), found)) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring child = path + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                removeTree(child);
            else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(search.get(), &found));
    }
    RemoveDirectoryW(path.c_str());
}

bool folderExists(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool fileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring tempPath(const wchar_t* name)
{
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder) + name;
}

void removeFile(const std::wstring& path) { DeleteFileW(path.c_str()); }

}  // namespace vr::test
