#include "trace_output_capture.h"

#include <windows.h>

#include <cstring>
#include <mutex>

#include "trace/tracer_seams.h"

namespace vr::test {

namespace {

std::mutex captureLock;
std::vector<std::string> captured;
DWORD captureThread = 0;

LONG CALLBACK captureDebugOutput(EXCEPTION_POINTERS* info)
{
    const EXCEPTION_RECORD* r = info->ExceptionRecord;
    if (r->ExceptionCode == DBG_PRINTEXCEPTION_C && r->NumberParameters >= 2 && GetCurrentThreadId() == captureThread) {
        const auto length = static_cast<std::size_t>(r->ExceptionInformation[0]);
        const auto* text = reinterpret_cast<const char*>(r->ExceptionInformation[1]);
        std::lock_guard<std::mutex> hold(captureLock);
        captured.emplace_back(text, length > 0 ? strnlen(text, length) : 0);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

DebugOutputCapture::DebugOutputCapture()
{
    {
        std::lock_guard<std::mutex> hold(captureLock);
        captured.clear();
        captureThread = GetCurrentThreadId();
    }
    handler_ = AddVectoredExceptionHandler(1, captureDebugOutput);
}

DebugOutputCapture::~DebugOutputCapture()
{
    RemoveVectoredExceptionHandler(handler_);
    std::lock_guard<std::mutex> hold(captureLock);
    captureThread = 0;
}

std::vector<std::string> DebugOutputCapture::texts() const
{
    std::lock_guard<std::mutex> hold(captureLock);
    return captured;
}

ErrorBoxCapture::ErrorBoxCapture()
{
    texts().clear();
    vr::trace::setErrorBoxHook([](const char* text) { ErrorBoxCapture::texts().emplace_back(text); });
}

ErrorBoxCapture::~ErrorBoxCapture() { vr::trace::setErrorBoxHook(nullptr); }

std::vector<std::string>& ErrorBoxCapture::texts()
{
    static std::vector<std::string> shown;
    return shown;
}

}  // namespace vr::test
