// The other process of the system-object tests:
//   hold <ready event> <release event> release|abandon
//                          take the UI lock, signal ready, wait for release,
//                          then give the lock back or end without doing so
//   try <timeout ms>       exit 0 when the UI lock was obtained (and given
//                          back), 3 when not
//   atom-add <length> <seed>          exit code: the packed atom of the text
//   atom-read <atom> <capacity> <file> the text read, as UTF-16, into file
//   plugin-caching <value>  exit code: VRC_SetPluginCaching's result
//   version                 exit code: OS flags, VRC_IsVistaOrLater in bit 16
//   devmode <case>          dump device modes to the debugger output
#include "vrcommon.h"

#include "platform/c_file.h"
#include "text.h"

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

int hold(const wchar_t* ready, const wchar_t* release, bool giveBack)
{
    HANDLE lock = VRC_LockUI(10000);
    if (lock == nullptr)
        return 2;
    HANDLE readyEvent = OpenEventW(EVENT_MODIFY_STATE, FALSE, ready);
    HANDLE releaseEvent = OpenEventW(SYNCHRONIZE, FALSE, release);
    if (readyEvent == nullptr || releaseEvent == nullptr)
        return 4;
    SetEvent(readyEvent);
    WaitForSingleObject(releaseEvent, 30000);
    if (giveBack)
        VRC_UnlockUI(lock);
    // Ending the process with the lock still owned abandons it.
    return 0;
}

int tryLock(DWORD timeout)
{
    HANDLE lock = VRC_LockUI(timeout);
    if (lock == nullptr)
        return 3;
    VRC_UnlockUI(lock);
    return 0;
}

int readAtom(ATOM atom, int capacity, const wchar_t* file)
{
    std::vector<wchar_t> buffer(static_cast<std::size_t>(capacity > 0 ? capacity : 1), L'?');
    VRC_GetPackedAtom(atom, buffer.data(), capacity);
    const vr::UniqueCFile out(_wfopen(file, L"wb"));
    if (!out)
        return 2;
    std::fwrite(buffer.data(), sizeof(wchar_t), std::wcslen(buffer.data()), out.get());
    return 0;
}

template <class DevMode>
void fillNames(DevMode& dm, const char* device, const char* form)
{
    for (std::size_t i = 0; device[i] != '\0' && i < std::size(dm.dmDeviceName); ++i)
        dm.dmDeviceName[i] = static_cast<unsigned char>(device[i]);
    for (std::size_t i = 0; form[i] != '\0' && i < std::size(dm.dmFormName); ++i)
        dm.dmFormName[i] = static_cast<unsigned char>(form[i]);
}

template <class DevMode>
void fillMembers(DevMode& dm, DWORD fields)
{
    dm.dmSize = sizeof(DevMode);
    dm.dmDriverExtra = 0xFFFF;
    dm.dmFields = fields;
    dm.dmOrientation = 2;
    dm.dmPaperSize = 9;
    dm.dmPaperLength = 2970;
    dm.dmPaperWidth = 2100;
    dm.dmScale = 100;
    dm.dmCopies = 2;
    dm.dmDefaultSource = static_cast<short>(0xFFFF);
    dm.dmPrintQuality = -4;
    dm.dmColor = 2;
    dm.dmDuplex = 3;
    dm.dmYResolution = 1200;
    dm.dmTTOption = 1;
    dm.dmCollate = 1;
    dm.dmLogPixels = 0xFFFF;
    dm.dmBitsPerPel = 0xFFFFFFFF;
    dm.dmPelsWidth = 4960;
    dm.dmPelsHeight = 7016;
}

int dumpDevMode(const std::wstring& which)
{
    if (which == L"null") {
        DBG_DumpDevModeW(__FILE__, 100, nullptr);
        DBG_DumpDevModeA(__FILE__, 101, nullptr);
    } else if (which == L"wide-none") {
        DEVMODEW dm{};
        fillMembers(dm, 0);
        fillNames(dm, "Veranto Printer", "A4");
        DBG_DumpDevModeW(__FILE__, 200, &dm);
    } else if (which == L"wide-some") {
        DEVMODEW dm{};
        fillMembers(dm, 0x00011002 | 0x20);
        fillNames(dm, "Veranto Printer", "A4");
        DBG_DumpDevModeW(__FILE__, 300, &dm);
    } else if (which == L"wide-all") {
        DEVMODEW dm{};
        fillMembers(dm, 0xFFFFFFFF);
        // Names that fill all 32 characters carry no NUL.
        fillNames(dm, "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345", "Letter");
        DBG_DumpDevModeW(__FILE__, 400, &dm);
    } else if (which == L"narrow-all") {
        DEVMODEA dm{};
        fillMembers(dm, 0xFFFFFFFF);
        fillNames(dm, "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345", "Legal");
        DBG_DumpDevModeA(__FILE__, 500, &dm);
    } else {
        return 2;
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"hold" && argc == 5)
        return hold(argv[2], argv[3], std::wstring(argv[4]) == L"release");
    if (command == L"try" && argc == 3)
        return tryLock(static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)));
    if (command == L"atom-add" && argc == 4)
        return VRC_AddPackedAtom(
            vr::test::sampleText(std::wcstoul(argv[2], nullptr, 10), std::wcstoul(argv[3], nullptr, 10)).c_str());
    if (command == L"atom-read" && argc == 5)
        return readAtom(static_cast<ATOM>(std::wcstoul(argv[2], nullptr, 10)),
                        static_cast<int>(std::wcstol(argv[3], nullptr, 10)), argv[4]);
    if (command == L"plugin-caching" && argc == 3)
        return VRC_SetPluginCaching(std::wcstoul(argv[2], nullptr, 10));
    if (command == L"version" && argc == 2)
        return static_cast<int>(VRC_GetOSVersionFlags() | (VRC_IsVistaOrLater() ? 0x10000u : 0u));
    if (command == L"devmode" && argc == 3)
        return dumpDevMode(argv[2]);
    return 99;
}
