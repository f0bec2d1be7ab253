// Folders and names of one test run, so that reruns in a kept Wine prefix
// never meet what an earlier run left.
#pragma once

#include <string>

namespace vr::test {

// stem followed by characters no earlier run has used (process, time, serial).
std::string uniqueName(const std::string& stem);

// A fresh folder under the temporary folder, removed with its content at destruction.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& stem = "vrtest");
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // Without a trailing backslash.
    const std::wstring& path() const { return path_; }
    const std::string& narrowPath() const { return narrowPath_; }
    // Writes a file into the folder; its full narrow path.
    std::string write(const std::string& name, const std::string& bytes) const;

private:
    std::string narrowPath_;
    std::wstring path_;
};

// A file of the temporary folder.
std::wstring tempPath(const wchar_t* name);
void removeFile(const std::wstring& path);
void removeTree(const std::wstring& path);
bool folderExists(const std::wstring& path);
bool fileExists(const std::wstring& path);

}  // namespace vr::test
