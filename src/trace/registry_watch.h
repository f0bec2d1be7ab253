// Change signals of registry keys, polled without waiting: what a cache of
// values read from those keys needs to know that it is still exact.
#pragma once

#include <windows.h>

#include <array>
#include <cstddef>
#include <span>

#include "platform/handles.h"

namespace vr::trace {

struct WatchedKey {
    HKEY hive;
    const wchar_t* path;  // without a trailing backslash
    REGSAM view;  // KEY_WOW64_64KEY where the readers of the key ask for it, else 0
};

enum class WatchState {
    Armed,  // every key is watched: changed() tells whether anything moved
    NotArmed,  // some notification could not be asked for this time
    Impossible  // the platform cannot keep a notification past the thread that asked
};

class RegistryWatch {
public:
    static constexpr std::size_t kMaxKeys = 8;

    // Drops the watches held and watches each key again, from this moment on.
    // A key that does not exist is watched through its nearest existing parent
    // for the creation of the next key on its path; and the parent of whatever
    // is watched is watched for its deletion, which the key itself may not report.
    WatchState arm(std::span<const WatchedKey> keys) noexcept;

    // True when something watched has changed since arm(), or the poll failed.
    bool changed() const noexcept;

    // Closes every key and event held; changed() is true until arm() again.
    void release() noexcept;

private:
    // Asks for one signal on the changes of filter in key, and keeps the key.
    bool notify(UniqueRegistryKey key, DWORD filter, WatchState& state) noexcept;

    static constexpr std::size_t kMaxWatches = 2 * kMaxKeys;
    std::array<UniqueRegistryKey, kMaxWatches> keys_;
    std::array<UniqueHandle, kMaxWatches> events_;
    std::array<HANDLE, kMaxWatches> signals_{};
    DWORD count_ = 0;
};

}  // namespace vr::trace
