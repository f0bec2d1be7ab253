// Reports of the runtime's own failures: one REL line in the driver log, where
// support people look first.
#pragma once

#include "vrc_trace.h"

#define VRC_REPORT(...) DBG_Print(__FILE__, __LINE__, DBG_MASK_REL, DBG_Text(__VA_ARGS__))
