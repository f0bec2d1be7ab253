#include "platform/thread_user.h"
#include "platform/platform_seams.h"

#include <sddl.h>

#include <atomic>
#include <cwchar>

#include "platform/handles.h"

namespace {

using vr::platform::TokenUserLookup;

bool tokenUser(HANDLE token, void* sid, DWORD sidBytes) noexcept
{
    alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD length = 0;
    if (!GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &length))
        return false;
    return CopySid(sidBytes, sid, reinterpret_cast<const TOKEN_USER*>(buffer)->User.Sid) != FALSE;
}
std::atomic<TokenUserLookup> tokenUserLookup{tokenUser};

// The process's own user, looked up once; its token never changes user.
struct ProcessUser {
    INIT_ONCE once = INIT_ONCE_STATIC_INIT;
    bool known = false;
    BYTE sid[SECURITY_MAX_SID_SIZE] = {};
};
ProcessUser processUser;

BOOL CALLBACK lookUpProcessUser(INIT_ONCE*, void*, void**) noexcept
{
    vr::UniqueHandle token;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, vr::put(token)))
        processUser.known = tokenUser(token.get(), processUser.sid, sizeof processUser.sid);
    return TRUE;
}

}  // namespace

namespace vr::platform {

ThreadUser threadUser() noexcept
{
    ThreadUser user;
    // Opened as the process: a thread impersonating at identification level,
    // or a user who may not query its own token, still tells whose it is.
    UniqueHandle token;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, put(token))) {
        if (GetLastError() == ERROR_NO_TOKEN)
            user.runsAs = RunsAs::ProcessUser;
        return user;
    }
    if (!tokenUserLookup.load()(token.get(), user.sid, sizeof user.sid) || !IsValidSid(user.sid))
        return user;
    InitOnceExecuteOnce(&processUser.once, lookUpProcessUser, nullptr, nullptr);
    if (!processUser.known)
        return user;
    user.runsAs = EqualSid(user.sid, processUser.sid) ? RunsAs::ProcessUser : RunsAs::OtherUser;
    return user;
}

bool sidText(const void* sid, wchar_t (&text)[kSidTextChars]) noexcept
{
    UniqueLocalBlock<wchar_t> converted;
    if (!ConvertSidToStringSidW(const_cast<void*>(sid), put(converted)))
        return false;
    const std::size_t length = std::wcslen(converted.get());
    if (length >= kSidTextChars)
        return false;
    std::wmemcpy(text, converted.get(), length + 1);
    return true;
}

void setTokenUserLookup(TokenUserLookup lookup) noexcept { tokenUserLookup = lookup != nullptr ? lookup : tokenUser; }

}  // namespace vr::platform
