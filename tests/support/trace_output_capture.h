// What the tracer shows outside its logs: debugger output and the error box,
// captured while a capture lives.
#pragma once

#include <string>
#include <vector>

namespace vr::test {

// Debugger output of the calling thread.
class DebugOutputCapture {
public:
    DebugOutputCapture();
    ~DebugOutputCapture();
    std::vector<std::string> texts() const;

private:
    void* handler_;
};

// Error box texts; the box itself is not shown.
class ErrorBoxCapture {
public:
    ErrorBoxCapture();
    ~ErrorBoxCapture();
    static std::vector<std::string>& texts();
};

}  // namespace vr::test
