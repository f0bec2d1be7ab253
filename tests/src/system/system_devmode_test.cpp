// Device-mode dumps as the debugger sees them: the helper process runs under
// this test as its debugger and every OutputDebugString is collected.
#include "vrcommon.h"

#include "helper_programs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct DumpLine {
    std::string header;  // everything before "pdmIn->"
    std::string text;  // from "pdmIn->", line end removed
};

std::vector<DumpLine> dumpInHelper(const std::wstring& which)
{
    std::vector<DumpLine> lines;
    HANDLE process =
        vr::test::startProgram(vr::test::helperPath(), L"devmode " + which, {.creationFlags = DEBUG_ONLY_THIS_PROCESS})
            .process.release();
    if (process == nullptr) {
        ADD_FAILURE() << "helper did not start";
        return lines;
    }
    for (bool running = true; running;) {
        DEBUG_EVENT event{};
        if (!WaitForDebugEvent(&event, 30000)) {
            ADD_FAILURE() << "no debug event";
            TerminateProcess(process, 1);
            break;
        }
        DWORD status = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
        case OUTPUT_DEBUG_STRING_EVENT: {
            const auto& info = event.u.DebugString;
            std::string text(info.nDebugStringLength, '\0');
            SIZE_T read = 0;
            ReadProcessMemory(process, info.lpDebugStringData, text.data(), text.size(), &read);
            text.resize(read);
            if (!text.empty() && text.back() == '\0')
                text.pop_back();
            if (const std::size_t at = text.find("pdmIn->"); at != std::string::npos) {
                std::string body = text.substr(at);
                while (!body.empty() && (body.back() == '\n' || body.back() == '\r'))
                    body.pop_back();
                lines.push_back({text.substr(0, at), body});
            }
            break;
        }
        case EXCEPTION_DEBUG_EVENT:
            if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
                status = DBG_EXCEPTION_NOT_HANDLED;
            break;
        case CREATE_PROCESS_DEBUG_EVENT:
            CloseHandle(event.u.CreateProcessInfo.hFile);
            break;
        case LOAD_DLL_DEBUG_EVENT:
            CloseHandle(event.u.LoadDll.hFile);
            break;
        case EXIT_PROCESS_DEBUG_EVENT:
            running = false;
            break;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
    }
    CloseHandle(process);
    return lines;
}

std::vector<std::string> texts(const std::vector<DumpLine>& lines)
{
    std::vector<std::string> result;
    for (const DumpLine& line : lines)
        result.push_back(line.text);
    return result;
}

TEST(DevModeDump, NoFieldsGivesTheFourFixedLines)
{
    const auto lines = dumpInHelper(L"wide-none");
    EXPECT_EQ(texts(lines), (std::vector<std::string>{"pdmIn->dmDeviceName = Veranto Printer",
                                                      "pdmIn->dmSize = " + std::to_string(sizeof(DEVMODEW)),
                                                      "pdmIn->dmDriverExtra = 65535", "pdmIn->dmFields = 0x0"}));
    // Each is a trace line of its own, of the debug class, from the caller's place.
    for (const DumpLine& line : lines) {
        EXPECT_NE(line.header.find("VRCCLN"), std::string::npos) << line.header;
        EXPECT_NE(line.header.find("system_helper.cpp  200 DBG    "), std::string::npos) << line.header;
    }
}

TEST(DevModeDump, SelectedMembersInOrderAndUnknownBitsIgnored)
{
    EXPECT_EQ(texts(dumpInHelper(L"wide-some")),
              (std::vector<std::string>{"pdmIn->dmDeviceName = Veranto Printer",
                                        "pdmIn->dmSize = " + std::to_string(sizeof(DEVMODEW)),
                                        "pdmIn->dmDriverExtra = 65535", "pdmIn->dmFields = 0x11022",
                                        "pdmIn->dmPaperSize = 9", "pdmIn->dmDuplex = 3", "pdmIn->dmFormName = A4"}));
}

std::vector<std::string> allMembers(std::size_t size, const char* form)
{
    return {"pdmIn->dmDeviceName = ABCDEFGHIJKLMNOPQRSTUVWXYZ012345",
            "pdmIn->dmSize = " + std::to_string(size),
            "pdmIn->dmDriverExtra = 65535",
            "pdmIn->dmFields = 0xffffffff",
            "pdmIn->dmOrientation = 2",
            "pdmIn->dmPaperSize = 9",
            "pdmIn->dmPaperLength = 2970",
            "pdmIn->dmPaperWidth = 2100",
            "pdmIn->dmScale = 100",
            "pdmIn->dmCopies = 2",
            "pdmIn->dmDefaultSource = -1",
            "pdmIn->dmPrintQuality = -4",
            "pdmIn->dmColor = 2",
            "pdmIn->dmDuplex = 3",
            "pdmIn->dmYResolution = 1200",
            "pdmIn->dmTTOption = 1",
            "pdmIn->dmCollate = 1",
            std::string("pdmIn->dmFormName = ") + form,
            "pdmIn->dmLogPixels = 65535",
            "pdmIn->dmBitsPerPel = -1",
            "pdmIn->dmPelsWidth = 4960",
            "pdmIn->dmPelsHeight = 7016"};
}

TEST(DevModeDump, EveryMemberOfTheWideAndTheNarrowDeviceMode)
{
    // The 32-character device names carry no NUL of their own.
    EXPECT_EQ(texts(dumpInHelper(L"wide-all")), allMembers(sizeof(DEVMODEW), "Letter"));
    EXPECT_EQ(texts(dumpInHelper(L"narrow-all")), allMembers(sizeof(DEVMODEA), "Legal"));
}

TEST(DevModeDump, NullDeviceModeWritesNothing) { EXPECT_TRUE(dumpInHelper(L"null").empty()); }

}  // namespace
