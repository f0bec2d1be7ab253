// The registry hive of the user the calling thread runs as. In a service
// HKEY_CURRENT_USER is mapped once per process, to the hive of whichever user
// first touched it (perhaps a print job's user that a spooler thread was
// impersonating): every per-user value is read and written through this
// hive instead, opened for the one call and closed after it. A thread that
// impersonates another user gets that user's hive, any other thread the
// process's user's.
#pragma once

#include <windows.h>

#include "platform/handles.h"

namespace vr::platform {

struct CurrentUserHive {
    UniqueRegistryKey key;  // null when the hive could not be opened
    LSTATUS status;  // ERROR_FILE_NOT_FOUND: the user's profile is not loaded
};

// With the rights the process's own HKEY_CURRENT_USER mapping is opened with,
// so that each key under it grants what it granted there. For a thread
// impersonating another user, HKEY_USERS\<the user's SID>: RegOpenCurrentUser
// would give that thread the default hive (LocalSystem's) when the user's
// profile is not loaded, and its per-user values are then no one's.
CurrentUserHive openCurrentUserHive() noexcept;

}  // namespace vr::platform
