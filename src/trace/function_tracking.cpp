// Function tracking: entry lines indented by nesting level, repeated entries
// folded into one line, DBG_TRACE/RETURN pairing and the depth limits.
#include <cstdio>

#include "trace/log_writer.h"
#include "trace/thread_contexts.h"
#include "vrc_trace.h"

namespace {

using namespace vr::trace;

void structuralError(DBG_CONTEXT& context, const char* text)
{
    errorReportInContext(context, text);
    errorLatch().store(1, std::memory_order_relaxed);
}

}  // namespace

extern "C" int DBG_TRACE(const char* sourceFile, int sourceLine, int depthLimit, const char* functionName)
{
    DBG_CONTEXT* context = DBG_GetContext();
    if (context == nullptr)
        return -1;
    if (context->guard & kBlocksTracking)
        return context->level;
    const GuardBit tracing(*context, kGuardTrace);

    const int level = ++context->level;
    if (level > kMaxLevel) {
        std::snprintf(context->line, kTextSize,
                      "DEBUG ERROR: Function level count exceeds trace limit of %d\nRecursive Infinite Loop?\n",
                      kMaxLevel);
        structuralError(*context, context->line);
    }
    const bool inRange = level >= 1 && level <= kMaxLevel;
    if (inRange)
        copyBounded(context->names[level - 1], kNameSlotSize, functionName != nullptr ? functionName : "");

    int result = -1;
    const bool wanted = level >= deepLevel().load(std::memory_order_relaxed) || level <= depthLimit;
    if (wanted && functionName != nullptr && inRange && buildLineInContext(*context, "", sourceFile, sourceLine, 0)) {
        showEntry(*context, functionName, heldLineWriter());
        result = level;
    }
    return result;
}

extern "C" int RETURN(const char* sourceFile, int sourceLine, int entryResult)
{
    const LastErrorKept lastError;
    bool borrowedNow = false;
    // A function whose entry was not made has no level to lower on a thread
    // without a context (its DBG_TRACE found none to use): none is made for it.
    DBG_CONTEXT* context = entryResult == -1 ? existingContext() : getContext(borrowedNow);
    if (borrowedNow) {
        // Contexts could not be allocated, and the fallback was lent elsewhere
        // when this function's DBG_TRACE ran: there is no level to lower.
        DBG_ReleaseContext();
        context = nullptr;
    }
    if (context == nullptr || (context->guard & kBlocksTracking) != 0)
        return 1;
    const ContextInUse use(*context);
    const GuardBit returning(*context, kGuardReturn);
    if (entryResult != -1 && entryResult <= kMaxLevel) {
        if (!errorLatched() && entryResult != context->level) {
            const char* caller = entryResult >= 1 ? context->names[entryResult - 1] : "";
            std::snprintf(context->line, kTextSize,
                          "DEBUG ERROR:\nMiss match of DBG_TRACE and RETURN in a function called by %s\nDetected "
                          "at %s line %d\n",
                          caller, sourceFile != nullptr ? sourceFile : "", sourceLine);
            structuralError(*context, context->line);
        }
        flushHeldTrc(*context, heldLineWriter());
        if (context->level == 1 && context->heldEntryCount > 0) {
            routeInContext(*context, context->heldLine, kHeldLineMask);
            context->heldEntryCount = 0;
        }
    }
    --context->level;
    if (context->level < 0)
        structuralError(*context, "DEBUG ERROR: Function level count below 0.\n");
    return 1;
}

extern "C" void DBG_Trc(const char* sourceFile, int sourceLine, int entryResult, const char* text)
{
    DBG_CONTEXT* context = DBG_GetContext();
    if (context == nullptr || (context->guard & kBlocksTracking) != 0)
        return;
    const ContextInUse use(*context);
    const GuardBit trc(*context, kGuardTrc);
    if (entryResult != -1)
        DBG_Print(sourceFile, sourceLine, DBG_MASK_TRC | DBG_MASK_TO_LOG | DBG_MASK_TO_ODS, text);
}

extern "C" void DBG_TraceFromHere(const char*, int, int* siteMarker)
{
    DBG_CONTEXT* context = DBG_GetContext();
    if (context == nullptr || (context->guard & kBlocksTracking) != 0)
        return;
    const GuardBit fromHere(*context, kGuardFromHere);
    int32_t notArmed = kDeepLevelNotArmed;
    if (siteMarker != nullptr && *siteMarker == -1 &&
        deepLevel().compare_exchange_strong(notArmed, context->level, std::memory_order_relaxed)) {
        *siteMarker = context->level;
    }
}

extern "C" const char* DBG_UnknownName(void) { return "unknown"; }
