// vrcommon: the product's client runtime. Components include this one header
// and link libvrcommon.a; every routine has C linkage.
#pragma once

// The declarations are aligned in columns for reading: kept as written.
// clang-format off

#include "vrc_trace.h"     // tracing, function tracking, the trace file layer
#include "vrc_settings.h"  // registry settings, data folders
#include "vrc_system.h"    // named mutexes, UI lock, atom strings, probes, device-mode dump
#include "vrc_pool.h"      // small-block memory pool and memory estimates
// clang-format on
