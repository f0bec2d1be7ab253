// Tracing: per-thread trace lines into the debug log, the driver log and the
// debugger output; function entry tracking; the small file layer the logs use.
//
// Threads: any number of threads may call any of these at once, unless its
// line says otherwise; each thread traces in a context of its own.
// Per module: the runtime is a static library, so each module (DLL or EXE)
// that links it has its own thread contexts, line queues, kept lines and its
// own copy of the variables below. Lines kept while a log could not be
// written are dropped, not written, when the module unloads or the process exits.
#pragma once

// The declarations are aligned in columns for reading: kept as written.
// clang-format off

#include <windows.h>   // the public headers may include windows.h
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Trace masks: class and destinations of a message.
#define DBG_MASK_DEBUG_ODS   0x00100000u  // debugger output (when no explicit destination and no REL)
#define DBG_MASK_DEBUG_LOG   0x00200000u  // debug log (same condition)
#define DBG_MASK_DEBUG_ERROR 0x00400000u  // error report: debug log and a box (same condition)
#define DBG_MASK_REL         0x00800000u  // driver log
#define DBG_MASK_TO_LOG      0x01000000u  // debug log
#define DBG_MASK_TO_ODS      0x02000000u  // debugger output
#define DBG_MASK_TRC         0x04000000u  // message inside a traced function, held and folded

// A message: DBG_Print(__FILE__, __LINE__, DBG_MASK_REL, DBG_Text("x = %d", x)).
// DBG_Text returns the calling thread's own message buffer (valid until its
// next DBG_Text), or null while the thread is already inside the tracer;
// DBG_Print ignores null.
char* DBG_Text(const char* format, ...);                                  // printf-style, %S for wide text
void  DBG_Print(const char* sourceFile, int sourceLine, uint32_t mask, const char* text);

// Function tracking. Keep DBG_TRACE's result and hand it to DBG_Trc and to
// RETURN on every way out of the function, on the same thread: each thread
// keeps its own depth. DBG_TraceFromHere arms DbgDeepLevel for the module.
int         DBG_TRACE(const char* sourceFile, int sourceLine, int depthLimit, const char* functionName);
int         RETURN(const char* sourceFile, int sourceLine, int entryResult);
void        DBG_Trc(const char* sourceFile, int sourceLine, int entryResult, const char* text);
void        DBG_TraceFromHere(const char* sourceFile, int sourceLine, int* siteMarker);
const char* DBG_UnknownName(void);

// The tracer's inner steps, for components that build on it.
// These variables are the module's own; the tracer reads and writes the two
// integers atomically.
typedef struct DBG_CONTEXT DBG_CONTEXT;   // one per tracing thread; contents are the tracer's own
extern DBG_CONTEXT* DbgContextList;       // head of the thread contexts, guarded by the runtime's own lock (not
                                          // the logging semaphore): only the tracer walks or changes it
extern DBG_CONTEXT DbgFallbackContext;    // lent to one thread at a time when a context cannot be allocated
extern int32_t DbgDeepLevel;              // 127 until DBG_TraceFromHere arms it
extern uint32_t DbgErrorLatch;            // 1 after the first structural tracing error
extern const char* DbgModuleTag;          // "VRCCLN": first column of every line, part of the semaphore name;
                                          // change it before the module's threads trace, not while they do

// The calling thread's context; null only when it could not be allocated while
// the fallback context was lent to another thread (the call is then dropped).
// DBG_ReleaseContext gives back the calling thread's own.
DBG_CONTEXT* DBG_GetContext(void);
void         DBG_ReleaseContext(void);
// The logging semaphore of DbgModuleTag, shared by the processes of the
// session: it excludes other DBG_Lock callers only (the tracer never takes it)
// and is waited for up to 5 seconds.
HANDLE       DBG_Lock(void);                                        // null: go on unlocked
void         DBG_Unlock(HANDLE semaphore);
void         DBG_ProcessColumn(char* destination, DWORD threadId);   // destination of 96,000 bytes
const char*  DBG_BaseName(const char* path);
int          DBG_BuildLine(const char* text, const char* sourceFile, int sourceLine, uint32_t mask);
void         DBG_Route(const char* line, uint32_t mask);
// Lines that threads hand to one log at once are appended by one of them for
// all; each call returns once its own line is in the file, kept or counted lost.
void         DBG_AppendToLog(const wchar_t* path, const char* text);   // null path: the debug log
void         DBG_ErrorReport(const char* text);   // a box in an interactive process holds the calling thread
int          DBG_DriverLogPath(wchar_t* buffer, DWORD capacity);       // 0 when no path fits
char*        DBG_Timestamp(char* buffer);                              // buffer of at least 24 bytes

// The trace file layer. A FIO_FILE has no lock: one thread at a time uses it,
// while other threads use files of their own.
typedef struct FIO_FILE {
    uint32_t kind;     // FIO_KIND_FILE, FIO_KIND_WRAPPED, 0 after close
    void*    handle;   // file handle (kind 1) or the held pointer (kind 2)
} FIO_FILE;

#define FIO_KIND_FILE    1u
#define FIO_KIND_WRAPPED 2u

#define FIO_MODE_READ    1   // read, others may read
#define FIO_MODE_CREATE  2   // create or truncate, no sharing
#define FIO_MODE_UPDATE  3   // read and write an existing file, no sharing
#define FIO_MODE_EXISTS  8   // only tests that the name exists
#define FIO_MODE_WRAP    16  // no file: a record holding the name pointer

int      FIO_Open(const wchar_t* fileName, int mode, FIO_FILE** file);
void     FIO_Close(FIO_FILE* file);
int      FIO_Read(FIO_FILE* file, void* buffer, DWORD byteCount);
int      FIO_Write(FIO_FILE* file, const void* buffer, DWORD byteCount);
int      FIO_Seek(FIO_FILE* file, int32_t distance, int method);
int      FIO_AtEnd(FIO_FILE* file);
char*    FIO_ReadLine(char* buffer, int bufferSize, FIO_FILE* file);
uint16_t FIO_GetWord(const void* bytes);
uint32_t FIO_GetDword(const void* bytes);
uint16_t FIO_GetWordBE(const void* bytes);
uint32_t FIO_GetDwordBE(const void* bytes);

#ifdef __cplusplus
}
#endif
// clang-format on
