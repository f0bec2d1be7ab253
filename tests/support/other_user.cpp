#include "other_user.h"

#include <sddl.h>

#include "platform/handles.h"

namespace vr::test {

namespace {

bool copySid(const wchar_t* text, void* sid, DWORD sidBytes)
{
    UniqueLocalBlock<void> converted;
    if (!ConvertStringSidToSidW(text, put(converted)))
        return false;
    return CopySid(sidBytes, sid, converted.get()) != FALSE;
}

// The part of OBJECT_BASIC_INFORMATION that NtQueryObject fills for any object.
struct ObjectBasics {
    ULONG attributes;
    ACCESS_MASK grantedAccess;
    ULONG handleCount;
    ULONG pointerCount;
    ULONG reserved[10];
};
using QueryObject = LONG(NTAPI*)(HANDLE handle, int informationClass, void* information, ULONG length, ULONG* returned);

}  // namespace

bool otherUserLookup(HANDLE, void* sid, DWORD sidBytes) { return copySid(kOtherUserSid, sid, sidBytes); }
bool unloadedUserLookup(HANDLE, void* sid, DWORD sidBytes) { return copySid(kUnloadedUserSid, sid, sidBytes); }

std::wstring otherUserKey(const std::wstring& path)
{
    return path.empty() ? kOtherUserSid : std::wstring(kOtherUserSid) + L"\\" + path;
}

unsigned long keyHandlesUnder(HKEY hive, const std::wstring& path)
{
    static const auto query = bind<QueryObject>(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject");
    UniqueRegistryKey key;
    if (query == nullptr || RegOpenKeyExW(hive, path.c_str(), 0, KEY_READ, put(key)) != ERROR_SUCCESS)
        return 0;
    ObjectBasics basics{};
    ULONG returned = 0;
    unsigned long held = 0;
    if (query(key.get(), 0, &basics, sizeof basics, &returned) >= 0 && basics.handleCount > 1)
        held = basics.handleCount - 1;
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = 256;
        if (RegEnumKeyExW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        held += keyHandlesUnder(hive, path + L"\\" + name);
    }
    return held;
}

}  // namespace vr::test
