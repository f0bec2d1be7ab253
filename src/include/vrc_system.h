// System objects and probes: named mutexes and the UI lock, long texts passed
// between processes as global atoms, the plug-in caching switch, Windows
// version probes, the Compatibility Assistant entry, the shield icon, and the
// device-mode dump of the tracer.
//
// Threads: any number of threads may call any of these at once, unless its
// line says otherwise. Nothing here keeps state between calls, so nothing is
// per module; the mutexes and atoms are the system's, shared between processes.
#pragma once

// The declarations are aligned in columns for reading: kept as written.
// clang-format off

#include <windows.h>   // the public headers may include windows.h

#ifdef __cplusplus
extern "C" {
#endif

// ---- named mutexes ----------------------------------------------------------
// Creates or opens a mutex, not owned, that every account may use. On NT 5.0
// and later the name gets "Global\" in server mode, else "Local\"; when that
// fails the bare name is used. Null on failure.
HANDLE VRC_CreateMutex(const wchar_t* name);
// Takes the UI lock ("ServerMode_LockUI"), waiting at most timeoutMs. Returns
// the owned mutex, or null when the lock was not obtained. A lock whose last
// owner ended without giving it back counts as obtained.
HANDLE VRC_LockUI(DWORD timeoutMs);
// Releases and closes an owned mutex; a null handle is ignored. Always 1.
// Call it on the thread whose VRC_LockUI took the lock: a mutex is owned by a thread.
int    VRC_UnlockUI(HANDLE mutex);

// ---- packed atom strings ----------------------------------------------------
// The global atom that stands for text: the text itself when shorter than 128
// characters, else a "VRPackedString: " list of chunk atoms of 127 characters.
// Texts of up to 2286 characters; 0 on failure.
ATOM     VRC_AddPackedAtom(const wchar_t* text);
// Puts the text of atom into buffer (capacity in characters, NUL included) and
// returns buffer. A packed text yields the leading whole chunks that fit, and
// each chunk taken is deleted; atom itself is never deleted. Two readers of one
// packed atom, on any threads or processes, compete: a chunk the first takes is
// gone for the second.
wchar_t* VRC_GetPackedAtom(ATOM atom, wchar_t* buffer, int capacity);

// ---- plug-in caching and platform probes -----------------------------------
// Stores PluginCacheEnabled machine-wide: before Windows 6 directly, from then
// on through "vorUvez.exe -pluginCaching <value>" from the installation folder,
// started elevated and waited for. 1 once stored or the program has ended.
// Holds the calling thread until that program ends.
int   VRC_SetPluginCaching(DWORD value);
DWORD VRC_GetOSVersionFlags(void);   // one VRC_OS_* flag, or 0
int   VRC_IsVistaOrLater(void);
// Records the program path in the user's Program Compatibility Assistant list.
// 1 when the key was created or opened; a null or empty path writes nothing.
int   VRC_SetCompatibilityPersisted(const wchar_t* programPath);
// The small shield stock icon, owned by the caller (DestroyIcon), or null.
HICON VRC_GetShieldIcon(void);

#define VRC_OS_WIN32S      0x0001u
#define VRC_OS_WIN95       0x0002u
#define VRC_OS_WIN98       0x0004u
#define VRC_OS_WINME       0x0008u
#define VRC_OS_NT4         0x0020u   // NT 4 and earlier
#define VRC_OS_WIN2000     0x0040u
#define VRC_OS_WINXP       0x0080u
#define VRC_OS_WIN2003     0x0100u
#define VRC_OS_LATER_NT    0x8000u   // 5.3 and later, Vista onwards

// ---- device-mode dump -------------------------------------------------------
// Traced as DBG_Print traces (vrc_trace.h): from any thread.
// Writes the device mode to the debugger output, one trace line per member:
// the device name, dmSize, dmDriverExtra and dmFields, then each member whose
// dmFields bit is set. A null device mode writes nothing.
void DBG_DumpDevModeW(const char* sourceFile, int sourceLine, const DEVMODEW* pdmIn);
// The same for a narrow device mode, every member read at its DEVMODEA place.
void DBG_DumpDevModeA(const char* sourceFile, int sourceLine, const DEVMODEA* pdmIn);

#ifdef __cplusplus
}
#endif
// clang-format on
