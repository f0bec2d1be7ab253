// Writes the trace logs that tests/vrclog/data/ was captured from, through the
// real tracer of libvrcommon.a. It was run once under Wine, twice: as built and
// as a copy named "corpus writer 2.exe" (an executable name with a space and a
// digit), both appending to the same VRCDBG62.LOG and VRCDRV62.LOG of the
// prefix's user data folder; the two logs were then copied into data/.
//
// Two threads take turns under one lock, step by step, so that their lines
// interleave in the logs without two writers ever holding a log open at the
// same time (a writer that finds a log open elsewhere loses its line).
#include <chrono>
#include <mutex>
#include <thread>

#include "vrcommon.h"

namespace {

std::mutex turn;

void pause() { std::this_thread::sleep_for(std::chrono::milliseconds(3)); }

// A source file name of 25 characters or more leaves no blank between a
// process column longer than 20 characters and the file name.
constexpr const char* kLongSourceName = "C:\\src\\printer_queue_scheduler_core.cpp";

int Leaf(const char* name, int value)
{
    const int trace = DBG_TRACE(__FILE__, __LINE__, 9, name);
    RETURN(__FILE__, __LINE__, trace);
    return value + 1;
}

int Recurse(int depth)
{
    const int trace = DBG_TRACE(__FILE__, __LINE__, 200, "Recurse");
    const int result = depth > 0 ? Recurse(depth - 1) : 0;
    RETURN(__FILE__, __LINE__, trace);
    return result + 1;
}

void RenderPage(int thread, int page)
{
    const int trace = DBG_TRACE(__FILE__, __LINE__, 9, "RenderPage");
    // Three identical messages fold into one TRCx3 line.
    for (int i = 0; i < 3; ++i)
        DBG_Trc(__FILE__, __LINE__, trace, DBG_Text("band %d ready", page));
    int value = 0;
    // Called three times from the same place: one "3(3)" entry line.
    for (int i = 0; i < 3; ++i)
        value = Leaf("CompressBand", value);
    DBG_Trc(kLongSourceName, 1207, trace, DBG_Text("page %d of thread %d done, %d bands", page, thread, value));
    RETURN(__FILE__, __LINE__, trace);
}

void PrintJob(int thread)
{
    for (int job = 0; job < 2; ++job) {
        int trace = -1;
        {
            std::lock_guard<std::mutex> lock(turn);
            trace = DBG_TRACE(__FILE__, __LINE__, 9, "PrintJob");
            DBG_Print(__FILE__, __LINE__, DBG_MASK_REL, DBG_Text("job %d started on thread %d", job, thread));
        }
        pause();
        for (int page = 1; page <= 2; ++page) {
            {
                std::lock_guard<std::mutex> lock(turn);
                RenderPage(thread, page);
            }
            pause();
        }
        std::lock_guard<std::mutex> lock(turn);
        DBG_Print(__FILE__, __LINE__, DBG_MASK_DEBUG_LOG, DBG_Text("spool file closed for job %d", job));
        RETURN(__FILE__, __LINE__, trace);
    }
}

}  // namespace

int main()
{
    // No error box: the reports still reach the debug log.
    DbgErrorLatch = 1;

    {
        const int trace = DBG_TRACE(__FILE__, __LINE__, 9, "StartUp");
        // A text with line ends of its own: one header, three lines.
        DBG_Print(__FILE__, __LINE__, DBG_MASK_REL, DBG_Text("configuration:\n  queue=Main Office\n  copies=2"));
        DBG_Print(kLongSourceName, 88, DBG_MASK_DEBUG_LOG, DBG_Text("driver caf\xe9 r\xe9sum\xe9 loaded"));
        DBG_Trc(__FILE__, __LINE__, trace, DBG_Text("two lines\nin one TRC text"));
        DBG_Print(__FILE__, __LINE__, DBG_MASK_DEBUG_ERROR,
                  DBG_Text("DEBUG ERROR: printer \"%s\" not found", "Main Office"));
        RETURN(__FILE__, __LINE__, trace);
    }

    std::thread first(PrintJob, 1);
    std::thread second(PrintJob, 2);
    first.join();
    second.join();

    // Structural errors: the depth limit (a report of two lines) and a RETURN
    // with no traced function, each written to the debug log without a header.
    std::thread([] { Recurse(100); }).join();
    std::thread([] { RETURN(__FILE__, __LINE__, 1); }).join();
    return 0;
}
