// Whole files as bytes, for tests that write inputs and read back outputs.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace vr::test {

// Empty when the file cannot be read.
inline std::string readFileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Replaces the file's content; false when it cannot be written.
inline bool writeFileBytes(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

}  // namespace vr::test
