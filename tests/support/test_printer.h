// A real printer of the test prefix, for tests of settings kept in printer data.
#pragma once

#include <string>

namespace vr::test {

// A printer of this test prefix, made on first use, removed when the test
// program ends.
const wchar_t* testPrinterName();
// Its printer data as stored by the spooler.
std::wstring printerDataKey();

}  // namespace vr::test
