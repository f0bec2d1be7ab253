// Owners for the platform's handles and blocks: each releases what it holds on
// every path out of a call, so that nothing is kept between calls.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <memory>
#include <type_traits>

namespace vr {

struct RegistryKeyCloser {
    void operator()(HKEY key) const noexcept { RegCloseKey(key); }
};
using UniqueRegistryKey = std::unique_ptr<std::remove_pointer_t<HKEY>, RegistryKeyCloser>;

// Kernel objects and files; INVALID_HANDLE_VALUE is stored as null by the caller.
struct HandleCloser {
    void operator()(HANDLE handle) const noexcept { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

inline UniqueHandle adoptFileHandle(HANDLE handle) noexcept
{
    return UniqueHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

struct FindCloser {
    void operator()(HANDLE find) const noexcept { FindClose(find); }
};
using UniqueFindHandle = std::unique_ptr<void, FindCloser>;

struct LocalBlockFreer {
    void operator()(void* block) const noexcept { LocalFree(block); }
};
template <class T>
using UniqueLocalBlock = std::unique_ptr<T, LocalBlockFreer>;

// Blocks of the C heap (zero-filled by calloc where the runtime asks for it).
struct HeapBlockFreer {
    void operator()(void* block) const noexcept { std::free(block); }
};
template <class T>
using UniqueHeapBlock = std::unique_ptr<T, HeapBlockFreer>;

}  // namespace vr
