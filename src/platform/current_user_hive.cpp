#include "platform/current_user_hive.h"

#include <atomic>

namespace {

LSTATUS openThreadUsersHive(REGSAM access, HKEY* hive) { return RegOpenCurrentUser(access, hive); }
std::atomic<vr::platform::OpenCurrentUserFunction> openCurrentUser{openThreadUsersHive};

}  // namespace

namespace vr::platform {

CurrentUserHive openCurrentUserHive() noexcept
{
    CurrentUserHive hive{};
    hive.status = openCurrentUser.load()(MAXIMUM_ALLOWED, put(hive.key));
    if (hive.status == ERROR_SUCCESS && !hive.key)
        hive.status = ERROR_INVALID_HANDLE;
    return hive;
}

void replaceOpenCurrentUser(OpenCurrentUserFunction function) noexcept
{
    openCurrentUser = function != nullptr ? function : openThreadUsersHive;
}

}  // namespace vr::platform
