// Function tracking: entry lines indented by nesting level, repeated entries
// folded into one line, DBG_TRACE/RETURN pairing and the depth limits.
#include <cstdio>

#include "trace/tracer_internal.h"
#include "vrc_trace.h"

namespace {

using namespace vr::trace;

void structuralError(DBG_CONTEXT& context, const char* text)
{
    errorReportInContext(context, text);
    DbgErrorLatch = 1;
}

}  // namespace

extern "C" int DBG_TRACE(const char* sourceFile, int sourceLine, int depthLimit, const char* functionName)
{
    DBG_CONTEXT* context = DBG_GetContext();
    if (context == nullptr)
        return -1;
    if (context->guard & DBG_BLOCKS_TRACKING)
        return context->level;
    context->guard |= DBG_GUARD_TRACE;

    const int level = ++context->level;
    if (level > DBG_MAX_LEVEL) {
        std::snprintf(context->line, DBG_TEXT_SIZE,
                      "DEBUG ERROR: Function level count exceeds trace limit of %d\nRecursive Infinite Loop?\n",
                      DBG_MAX_LEVEL);
        structuralError(*context, context->line);
    }
    const bool inRange = level >= 1 && level <= DBG_MAX_LEVEL;
    if (inRange)
        copyBounded(context->names[level - 1], DBG_NAME_SLOT_SIZE, functionName != nullptr ? functionName : "");

    int result = -1;
    const bool wanted = level >= DbgDeepLevel || level <= depthLimit;
    if (wanted && functionName != nullptr && inRange &&
        buildLineInContext(*context, "", sourceFile, sourceLine, 0)) {
        showEntry(*context, functionName, heldLineWriter());
        result = level;
    }
    context->guard &= ~DBG_GUARD_TRACE;
    return result;
}

extern "C" int RETURN(const char* sourceFile, int sourceLine, int entryResult)
{
    const DWORD lastError = GetLastError();
    bool borrowedNow = false;
    DBG_CONTEXT* context = getContext(borrowedNow);
    if (borrowedNow) {
        // Contexts could not be allocated, and the fallback was lent elsewhere
        // when this function's DBG_TRACE ran: there is no level to lower.
        DBG_ReleaseContext();
        context = nullptr;
    }
    if (context == nullptr || (context->guard & DBG_BLOCKS_TRACKING) != 0) {
        SetLastError(lastError);
        return 1;
    }
    context->guard |= DBG_GUARD_RETURN;
    if (entryResult != -1 && entryResult <= DBG_MAX_LEVEL) {
        if (DbgErrorLatch != 1 && entryResult != context->level) {
            const char* caller = entryResult >= 1 ? context->names[entryResult - 1] : "";
            std::snprintf(context->line, DBG_TEXT_SIZE,
                          "DEBUG ERROR:\nMiss match of DBG_TRACE and RETURN in a function called by %s\nDetected "
                          "at %s line %d\n",
                          caller, sourceFile != nullptr ? sourceFile : "", sourceLine);
            structuralError(*context, context->line);
        }
        flushHeldTrc(*context, heldLineWriter());
        if (context->level == 1 && context->heldEntryCount > 0) {
            routeInContext(*context, context->heldLine, DBG_HELD_LINE_MASK);
            context->heldEntryCount = 0;
        }
    }
    --context->level;
    if (context->level < 0)
        structuralError(*context, "DEBUG ERROR: Function level count below 0.\n");
    context->guard &= ~DBG_GUARD_RETURN;
    if (context->level == 0 && context->guard == 0)
        DBG_ReleaseContext();
    SetLastError(lastError);
    return 1;
}

extern "C" void DBG_Trc(const char* sourceFile, int sourceLine, int entryResult, const char* text)
{
    DBG_CONTEXT* context = DBG_GetContext();
    if (context == nullptr || (context->guard & DBG_BLOCKS_TRACKING) != 0)
        return;
    context->guard |= DBG_GUARD_TRC;
    if (entryResult != -1)
        DBG_Print(sourceFile, sourceLine, DBG_MASK_TRC | DBG_MASK_TO_LOG | DBG_MASK_TO_ODS, text);
    context->guard &= ~DBG_GUARD_TRC;
    if (context->level == 0 && context->guard == 0)
        DBG_ReleaseContext();
}

extern "C" void DBG_TraceFromHere(const char*, int, int* siteMarker)
{
    DBG_CONTEXT* context = DBG_GetContext();
    if (context == nullptr || (context->guard & DBG_BLOCKS_TRACKING) != 0)
        return;
    context->guard |= DBG_GUARD_FROM_HERE;
    if (DbgDeepLevel == DEEP_LEVEL_NOT_ARMED && siteMarker != nullptr && *siteMarker == -1) {
        DbgDeepLevel = context->level;
        *siteMarker = context->level;
    }
    context->guard &= ~DBG_GUARD_FROM_HERE;
}

extern "C" const char* DBG_UnknownName(void) { return "unknown"; }
