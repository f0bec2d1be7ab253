/* A small plug-in host written in C: traces, loads the plug-in DLL named on
   its command line, has it print a job, unloads it, and prints the driver
   log's path. Exits 0 when the plug-in printed the job.

     plugin_host <plug-in DLL> <job name> */
#include <stdio.h>

#include "vrcommon.h"

typedef int (*PluginPrintJobFn)(const char* jobName);

int main(int argc, char** argv)
{
    HMODULE plugin;
    PluginPrintJobFn printJob;
    int printed = 0;
    wchar_t driverLog[MAX_PATH];
    char driverLogUtf8[4 * MAX_PATH];

    if (argc != 3) {
        fputs("usage: plugin_host <plug-in DLL> <job name>\n", stderr);
        return 2;
    }
    DBG_Print(__FILE__, __LINE__, DBG_MASK_REL, DBG_Text("host loads %s for job %s", argv[1], argv[2]));
    plugin = LoadLibraryA(argv[1]);
    if (plugin == NULL) {
        fprintf(stderr, "plugin_host: cannot load %s (error %lu)\n", argv[1], GetLastError());
        return 1;
    }
    printJob = (PluginPrintJobFn)(void (*)(void))GetProcAddress(plugin, "PluginPrintJob");
    if (printJob != NULL)
        printed = printJob(argv[2]);
    FreeLibrary(plugin);

    if (DBG_DriverLogPath(driverLog, MAX_PATH) &&
        WideCharToMultiByte(CP_UTF8, 0, driverLog, -1, driverLogUtf8, sizeof driverLogUtf8, NULL, NULL) > 0)
        printf("driver log: %s\n", driverLogUtf8);
    printf("plug-in: %s\n", printed ? "job printed" : "<job not printed>");
    return printed ? 0 : 1;
}
