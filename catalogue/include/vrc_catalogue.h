// The message catalogue of VRCCLN62.dll for the product's components: the
// message identifiers (vrc_messages.h, made from vrc_messages.mc at build time)
// and the two formatting exports.
//
//   va_list* none = nullptr;
//   wchar_t* text = MSG_FormatMessageW(MSG_VRC4501_SERVICE_TEMPORARILY_UNAVAILABLE_ERROR_API, none);
//   ...
//   LocalFree(text);
//
// Both exports return UTF-16 text that the caller releases with LocalFree, or
// null when the identifier is not in the catalogue or formatting fails. The
// argument list holds one value per insert, in the order %1, %2, %3: a pointer
// to a UTF-16 string for %n and %n!s!, a 32-bit integer for %n!d!. A message
// without inserts may be given a null list. They may be called from any thread.
#pragma once

#include <windows.h>

#include <stdarg.h>

#include "vrc_messages.h"

#ifdef __cplusplus
extern "C" {
#endif

wchar_t* MSG_FormatMessageW(DWORD messageId, va_list* arguments);
// Identical to MSG_FormatMessageW, and also returns UTF-16 text.
wchar_t* MSG_FormatMessageA(DWORD messageId, va_list* arguments);

// For components that bind the exports with GetProcAddress.
typedef wchar_t* (*MSG_FormatMessageProc)(DWORD messageId, va_list* arguments);

#ifdef __cplusplus
}
#endif
