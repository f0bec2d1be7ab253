// vrcommon: the product's client runtime. Components include this one header
// and link libvrcommon.a; every routine has C linkage.
//
// libvrcommon.a is a static library: each module (DLL or EXE) that links it
// has its own copy of the runtime's state: its memory pool, its trace contexts,
// line queues and kept lines. Each header says beside its calls which of them
// may run on several threads at once (the pool's may not) and what the module
// keeps for itself. What a module kept is given back when it unloads; lines
// still kept then are dropped, not written.
#pragma once

// The declarations are aligned in columns for reading: kept as written.
// clang-format off

#include "vrc_trace.h"     // tracing, function tracking, the trace file layer
#include "vrc_settings.h"  // registry settings, data folders
#include "vrc_system.h"    // named mutexes, UI lock, atom strings, probes, device-mode dump
#include "vrc_pool.h"      // small-block memory pool and memory estimates
// clang-format on
