#include "platform/current_user_hive.h"
#include "platform/platform_seams.h"

#include <atomic>

#include "platform/thread_user.h"

namespace {

LSTATUS openThreadUsersHive(REGSAM access, HKEY* hive) { return RegOpenCurrentUser(access, hive); }
std::atomic<vr::platform::OpenCurrentUserFunction> openCurrentUser{openThreadUsersHive};

}  // namespace

namespace vr::platform {

CurrentUserHive openCurrentUserHive() noexcept
{
    CurrentUserHive hive{};
    const ThreadUser user = threadUser();
    if (user.runsAs == RunsAs::OtherUser) {
        // A profile is loaded as HKEY_USERS\<SID>; without it the key is not
        // there and the user has no per-user values at all.
        wchar_t name[kSidTextChars];
        hive.status = sidText(user.sid, name) ? RegOpenKeyExW(HKEY_USERS, name, 0, MAXIMUM_ALLOWED, put(hive.key))
                                              : ERROR_INVALID_SID;
    } else {
        hive.status = openCurrentUser.load()(MAXIMUM_ALLOWED, put(hive.key));
    }
    if (hive.status == ERROR_SUCCESS && !hive.key)
        hive.status = ERROR_INVALID_HANDLE;
    return hive;
}

void setOpenCurrentUser(OpenCurrentUserFunction function) noexcept
{
    openCurrentUser = function != nullptr ? function : openThreadUsersHive;
}

}  // namespace vr::platform
