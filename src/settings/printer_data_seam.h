// Test seam: the spooler's DeletePrinterDataW may be replaced, since some
// spoolers (Wine's among them) end the process when it is called.
#pragma once

namespace vr::settings {

// Same contract as DeletePrinterDataW: the printer handle, the value name, the
// Win32 status.
using DeletePrinterDataFunction = unsigned long (*)(void* printer, const wchar_t* valueName);

// Null restores the spooler's own function.
void replaceDeletePrinterData(DeletePrinterDataFunction function) noexcept;

}  // namespace vr::settings
