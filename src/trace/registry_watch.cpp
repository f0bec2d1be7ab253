// Registry change notifications, one per watched key, each with its own event.
#include "trace/registry_watch.h"

#include <cwchar>
#include <utility>

namespace vr::trace {

namespace {

// The notification outlives the thread that asked for it (the key handle ends
// it); without this, a watch armed by a thread that has ended would stay silent.
constexpr DWORD kThreadAgnostic = 0x10000000;
constexpr DWORD kKeyChanges =
    REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_ATTRIBUTES | REG_NOTIFY_CHANGE_LAST_SET | REG_NOTIFY_CHANGE_SECURITY;
constexpr std::size_t kPathChars = 256;

// Cuts the last component off a path held in a buffer; false at the hive itself.
bool cutToParent(wchar_t* path) noexcept
{
    if (path[0] == L'\0')
        return false;
    wchar_t* separator = std::wcsrchr(path, L'\\');
    if (separator == nullptr)
        path[0] = L'\0';
    else
        *separator = L'\0';
    return true;
}

// Whether a key may exist: only "not found" counts as missing.
bool exists(HKEY hive, const wchar_t* path, REGSAM view) noexcept
{
    UniqueRegistryKey key;
    return RegOpenKeyExW(hive, path, 0, KEY_NOTIFY | view, put(key)) != ERROR_FILE_NOT_FOUND;
}

}  // namespace

bool RegistryWatch::notify(UniqueRegistryKey key, DWORD filter, WatchState& state) noexcept
{
    if (count_ == kMaxWatches) {
        state = WatchState::NotArmed;
        return false;
    }
    UniqueHandle& event = events_[count_];
    if (!event)
        event.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event) {
        state = WatchState::NotArmed;
        return false;
    }
    ResetEvent(event.get());
    const LSTATUS asked = RegNotifyChangeKeyValue(key.get(), FALSE, filter | kThreadAgnostic, event.get(), TRUE);
    if (asked != ERROR_SUCCESS) {
        state = asked == ERROR_INVALID_PARAMETER ? WatchState::Impossible : WatchState::NotArmed;
        return false;
    }
    keys_[count_] = std::move(key);
    signals_[count_++] = event.get();
    return true;
}

WatchState RegistryWatch::arm(std::span<const WatchedKey> keys) noexcept
{
    // Closing a key ends its notification; the events are reset as they are reused.
    for (UniqueRegistryKey& key : keys_)
        key.reset();
    count_ = 0;
    if (keys.size() > kMaxKeys)
        return WatchState::NotArmed;

    WatchState state = WatchState::Armed;
    for (const WatchedKey& watched : keys) {
        wchar_t path[kPathChars];
        wchar_t below[kPathChars] = {};
        if (std::swprintf(path, kPathChars, L"%ls", watched.path) < 0)
            return WatchState::NotArmed;
        // The deepest key of the path that exists: the key itself, or the
        // parent in which the next key towards it would be made.
        UniqueRegistryKey key;
        bool whole = true;
        for (;;) {
            const LSTATUS opened = RegOpenKeyExW(watched.hive, path, 0, KEY_NOTIFY | watched.view, put(key));
            if (opened == ERROR_SUCCESS)
                break;
            std::wmemcpy(below, path, kPathChars);
            if (opened != ERROR_FILE_NOT_FOUND || !cutToParent(path))
                return WatchState::NotArmed;
            whole = false;
        }
        if (!notify(std::move(key), whole ? kKeyChanges : REG_NOTIFY_CHANGE_NAME, state))
            return state;
        // Made before the notification was asked for, it would go unseen.
        if (!whole && exists(watched.hive, below, watched.view))
            return WatchState::NotArmed;

        wchar_t parent[kPathChars];
        std::wmemcpy(parent, path, kPathChars);
        if (!cutToParent(parent))
            continue;
        if (RegOpenKeyExW(watched.hive, parent, 0, KEY_NOTIFY | watched.view, put(key)) != ERROR_SUCCESS)
            return WatchState::NotArmed;
        if (!notify(std::move(key), REG_NOTIFY_CHANGE_NAME, state))
            return state;
        // Deleted before the notification was asked for, it would go unseen.
        if (!exists(watched.hive, path, watched.view))
            return WatchState::NotArmed;
    }
    return state;
}

bool RegistryWatch::changed() const noexcept
{
    if (count_ == 0)
        return true;
    return WaitForMultipleObjects(count_, signals_.data(), FALSE, 0) != WAIT_TIMEOUT;
}

void RegistryWatch::release() noexcept
{
    for (UniqueRegistryKey& key : keys_)
        key.reset();
    for (UniqueHandle& event : events_)
        event.reset();
    signals_.fill(nullptr);
    count_ = 0;
}

}  // namespace vr::trace
