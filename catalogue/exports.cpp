// The library's entry routine and its two exports. Both exports hand the work
// to the platform formatter with this library's own message table as the
// source; they keep no state, so any number of threads may call them at once.
#include <windows.h>

#include <cstdarg>

#include "vrc_catalogue.h"

namespace {

// Written once, on process attach, before any export can run; read only by the
// exports. Left as it is on detach.
HMODULE catalogueModule = nullptr;

// Allocate the buffer, read the message from a module, and nothing else: inserts
// are filled, the arguments are a va_list, and lines are never wrapped.
constexpr DWORD kFormatFlags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE;
static_assert(kFormatFlags == 0x0900);

// Neutral primary language with the system default sub-language: the
// formatter falls back to the catalogue's only table, English (1033).
constexpr DWORD kSystemDefaultLanguage = MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT);
static_assert(kSystemDefaultLanguage == 0x0800);

wchar_t* formatFromCatalogue(DWORD messageId, va_list* arguments) noexcept
{
    wchar_t* buffer = nullptr;
    DWORD length = 0;
    try {
        length = FormatMessageW(kFormatFlags, catalogueModule, messageId, kSystemDefaultLanguage,
                                reinterpret_cast<wchar_t*>(&buffer), 0, arguments);
    } catch (...) {
        // A C++ exception is a failure like any other. A processor fault from a
        // bad argument list is the caller's and is not caught here.
        length = 0;
    }
    if (length != 0)
        return buffer;
    if (buffer != nullptr)
        LocalFree(buffer);
    return nullptr;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        catalogueModule = instance;
    return TRUE;
}

extern "C" wchar_t* MSG_FormatMessageW(DWORD messageId, va_list* arguments)
{
    return formatFromCatalogue(messageId, arguments);
}

// Kept for components written against the 8-bit name: the catalogue is UTF-16
// and so is the text returned.
extern "C" wchar_t* MSG_FormatMessageA(DWORD messageId, va_list* arguments)
{
    return formatFromCatalogue(messageId, arguments);
}
