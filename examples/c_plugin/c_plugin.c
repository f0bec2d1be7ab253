/* A plug-in DLL written in C. Its one export prints a job: the runtime
   traces the call in the debug log and a release line in the driver log. */
#include "vrcommon.h"

__declspec(dllexport) int PluginPrintJob(const char* jobName)
{
    const int trace = DBG_TRACE(__FILE__, __LINE__, 9, "PluginPrintJob");
    int printed = 0;
    if (jobName != NULL && jobName[0] != '\0') {
        DBG_Print(__FILE__, __LINE__, DBG_MASK_REL, DBG_Text("plug-in printed job %s", jobName));
        printed = 1;
    }
    RETURN(__FILE__, __LINE__, trace);
    return printed;
}
