// A product component using the runtime's tracer: includes vrcommon.h, links
// libvrcommon.a, and traces one release message and a few traced functions.
#include <cstdlib>

#include "vrcommon.h"

static int ClientStep(int value)
{
    const int trace = DBG_TRACE(__FILE__, __LINE__, 9, "ClientStep");
    value *= 2;
    RETURN(__FILE__, __LINE__, trace);
    return value;
}

int main(int argc, char** argv)
{
    const int trace = DBG_TRACE(__FILE__, __LINE__, 9, "ClientMain");
    const int start = argc > 1 ? std::atoi(argv[1]) : 0;
    DBG_Print(__FILE__, __LINE__, DBG_MASK_REL, DBG_Text("client started with %d", start));
    int value = ClientStep(start);
    value = ClientStep(value);
    DBG_Trc(__FILE__, __LINE__, trace, DBG_Text("done"));
    RETURN(__FILE__, __LINE__, trace);
    return value == start * 4 ? 0 : 1;
}
