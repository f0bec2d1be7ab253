// The owner of a C stream, for code with and without Windows alike.
#pragma once

#include <cstdio>
#include <memory>

namespace vr {

struct CFileCloser {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using UniqueCFile = std::unique_ptr<std::FILE, CFileCloser>;

}  // namespace vr
