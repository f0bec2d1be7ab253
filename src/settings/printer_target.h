// Printer data as a settings target: the spooler opened by printer name or
// used through the caller's handle, with the steps readers, writers and the
// deleter share.
#pragma once

#include <windows.h>

#include "platform/runtime_entries.h"

namespace vr::settings {

class Spooler {
public:
    // 0 when the spooler is usable, else the status every printer step reports.
    DWORD status() const noexcept { return entries_.status; }

    DWORD getData(HANDLE printer, const wchar_t* valueName, void* buffer, DWORD size, DWORD* needed) const noexcept
    {
        if (entries_.status)
            return entries_.status;
        return entries_.get(printer, const_cast<wchar_t*>(valueName), nullptr, static_cast<BYTE*>(buffer), size,
                            needed);
    }

    DWORD setData(HANDLE printer, const wchar_t* valueName, DWORD type, const void* data, DWORD size) const noexcept
    {
        if (entries_.status)
            return entries_.status;
        return entries_.set(printer, const_cast<wchar_t*>(valueName), type, static_cast<BYTE*>(const_cast<void*>(data)),
                            size);
    }

    // Runs `operation` on the printer of that name opened with `access`;
    // returns its status, or the open's last-error code.
    template <class Operation>
    DWORD withPrinter(const wchar_t* printerName, DWORD access, Operation operation) const noexcept
    {
        if (entries_.status)
            return entries_.status;
        PRINTER_DEFAULTSW defaults{nullptr, nullptr, access};
        HANDLE printer = nullptr;
        if (!entries_.open(const_cast<wchar_t*>(printerName), &printer, &defaults)) {
            const DWORD error = GetLastError();
            return error ? error : ERROR_INVALID_PRINTER_NAME;
        }
        const DWORD status = operation(printer);
        entries_.close(printer);
        return status;
    }

private:
    const platform::SpoolerEntries& entries_ = platform::spoolerEntries();
};

inline bool isPrinterTarget(const wchar_t* printerName, HANDLE printer) noexcept
{
    return printerName != nullptr || printer != nullptr;
}

// The printer steps shared by readers, writers and the deleter: the caller's
// handle first; unless its status is final, the printer by name.
template <class Operation, class IsFinal>
DWORD onPrinter(const wchar_t* printerName, HANDLE printer, DWORD access, const Spooler& spooler, Operation operation,
                IsFinal isFinal) noexcept
{
    DWORD status = ERROR_INVALID_HANDLE;
    if (printer) {
        status = operation(printer);
        if (isFinal(status))
            return status;
    }
    if (printerName)
        status = spooler.withPrinter(printerName, access, operation);
    return status;
}

}  // namespace vr::settings
