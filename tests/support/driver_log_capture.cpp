#include "driver_log_capture.h"

#include "file_bytes.h"

namespace vr::test {

DriverLogCapture::DriverLogCapture() : file_(folder_.path() + L"\\driver.log")
{
    setSettingString(HKEY_CURRENT_USER, L"DriverLogFile", file_);
}

std::string DriverLogCapture::text() const { return readFileBytes(file_); }

}  // namespace vr::test
