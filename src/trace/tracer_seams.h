// The tracer's test seams and test hooks: places a test cannot reach through
// the platform (a context allocation that fails, a write that comes up short,
// a thread running as another user...) and counts a test reads. Each setter
// swaps one function; null restores the real one.
#pragma once

#include <windows.h>

#include <cstddef>

#include "platform/platform_seams.h"

namespace vr::trace {

using ContextAllocator = void* (*)(std::size_t bytes);
void setContextAllocator(ContextAllocator allocator) noexcept;  // calloc
// The system-modal error box, which would block the test.
using ErrorBoxHook = void (*)(const char* text);
void setErrorBoxHook(ErrorBoxHook hook) noexcept;  // MessageBoxA
// Whether boxes can be seen on the process's window station.
using WindowStationProbe = bool (*)();
void setWindowStationProbe(WindowStationProbe probe) noexcept;  // the real station's facts
using SemaphoreOpener = HANDLE (*)(const wchar_t* name);
void setSemaphoreOpener(SemaphoreOpener opener) noexcept;  // CreateSemaphoreW
using TokenUserLookup = vr::platform::TokenUserLookup;  // copies the token's user
void setThreadUserLookup(TokenUserLookup lookup) noexcept;  // GetTokenInformation

// The log files' platform calls, with the contracts of WriteFile,
// SetEndOfFile and CreateFileW: a full volume, a file mapped by another
// process, and a look at the access a log is opened with.
using LogWrite = BOOL (*)(HANDLE file, const void* bytes, DWORD size, DWORD* written);
using LogCut = BOOL (*)(HANDLE file);
using LogOpen = HANDLE (*)(const wchar_t* path, DWORD access, DWORD share, DWORD disposition, DWORD flags);
void setLogWrite(LogWrite write) noexcept;
void setLogCut(LogCut cut) noexcept;
void setLogOpen(LogOpen open) noexcept;
// Runs between a writer's first look at a log's size past the limit and its
// reopen of the log to move it, where another writer may move it first.
using RotationRace = void (*)(const wchar_t* path);
void setRotationRace(RotationRace race) noexcept;  // nothing runs there

// Whether the list holds a context for the thread, walked under its lock.
bool contextListed(DWORD threadId);
// How many times this module has resolved a log path.
unsigned long logPathResolutions() noexcept;

}  // namespace vr::trace
