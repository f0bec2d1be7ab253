// Owners for the platform's handles and blocks: each releases what it holds on
// every path out of a call, so that nothing is kept between calls. One owner
// per kind of handle, for the runtime, the catalogue's tool and the installer.
#pragma once

#include <windows.h>

#include <lzexpand.h>

#include <cstdlib>
#include <memory>
#include <type_traits>
#include <utility>

#include "platform/c_file.h"

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

// CreateFileW's result, null when the file could not be opened.
inline UniqueHandle adoptFileHandle(HANDLE handle) noexcept
{
    return UniqueHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

struct FindCloser {
    void operator()(HANDLE find) const noexcept { FindClose(find); }
};
using UniqueFindHandle = std::unique_ptr<void, FindCloser>;

// FindFirstFileW's search, null when nothing was found.
inline UniqueFindHandle findFirstFile(const wchar_t* pattern, WIN32_FIND_DATAW& found) noexcept
{
    const HANDLE search = FindFirstFileW(pattern, &found);
    return UniqueFindHandle(search == INVALID_HANDLE_VALUE ? nullptr : search);
}

struct LibraryFreer {
    void operator()(HMODULE module) const noexcept { FreeLibrary(module); }
};
using UniqueLibrary = std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryFreer>;

// Blocks the platform allocates for the caller with LocalAlloc.
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

// An LZ expansion handle from LZInit, negative when nothing is open. It is
// closed through the LZClose the caller bound at run time: the LZ library is
// never imported, so it cannot be taken from a folder anyone may write to.
class UniqueLzFile {
public:
    using Closer = decltype(&LZClose);
    UniqueLzFile() noexcept = default;
    UniqueLzFile(INT handle, Closer close) noexcept : handle_(handle), close_(close) {}
    UniqueLzFile(UniqueLzFile&& other) noexcept
        : handle_(std::exchange(other.handle_, -1)), close_(std::exchange(other.close_, nullptr))
    {}
    UniqueLzFile& operator=(UniqueLzFile&& other) noexcept
    {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, -1);
            close_ = std::exchange(other.close_, nullptr);
        }
        return *this;
    }
    ~UniqueLzFile() { reset(); }

    INT get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ >= 0; }
    void reset() noexcept
    {
        if (handle_ >= 0 && close_ != nullptr)
            close_(handle_);
        handle_ = -1;
    }

private:
    INT handle_ = -1;
    Closer close_ = nullptr;
};

// Hands an owner to a call as its out-parameter:
//   UniqueRegistryKey key;
//   RegOpenKeyExW(hive, path, 0, rights, put(key));
// The owner takes what the call stored once the statement ends: test the
// owner itself only in a later statement.
template <class Owner>
class OutParameter {
public:
    using Pointer = typename Owner::pointer;
    explicit OutParameter(Owner& owner) noexcept : owner_(owner) {}
    OutParameter(const OutParameter&) = delete;
    OutParameter& operator=(const OutParameter&) = delete;
    ~OutParameter() { owner_.reset(raw_); }
    operator Pointer*() noexcept { return &raw_; }

private:
    Owner& owner_;
    Pointer raw_ = nullptr;
};

template <class Owner>
OutParameter<Owner> put(Owner& owner) noexcept
{
    return OutParameter<Owner>(owner);
}

// An entry point of a library loaded at run time, typed by its declaration:
//   auto open = bind<decltype(&OpenPrinterW)>(spooler, "OpenPrinterW");
// Null when the library or the entry point is missing.
template <class Function>
Function bind(HMODULE module, const char* name) noexcept
{
    static_assert(std::is_pointer_v<Function> && std::is_function_v<std::remove_pointer_t<Function>>);
    if (module == nullptr)
        return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace vr
