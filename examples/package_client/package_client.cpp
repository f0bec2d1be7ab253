// A product component using both parts of the package: formats a catalogue
// message through VRCCLN62.dll, writes a release line to the driver log with
// the runtime's tracer and reads it back, and takes a block from the memory
// pool. Prints what it did; exits 0 when everything worked.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "vrc_catalogue.h"
#include "vrcommon.h"

namespace {

std::string utf8(const std::wstring& text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), bytes.data(), size, nullptr, nullptr);
    return bytes;
}

// Inserts in the order %1, %2, ...; wide strings, or an int for "!d!".
std::wstring catalogueMessage(DWORD id, ...)
{
    va_list inserts;
    va_start(inserts, id);
    wchar_t* text = MSG_FormatMessageW(id, &inserts);
    va_end(inserts);
    if (!text)
        return {};
    std::wstring message(text);
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n'))
        message.pop_back();
    return message;
}

bool fileHolds(const wchar_t* path, const char* text)
{
    FILE* file = _wfopen(path, L"rb");
    if (!file)
        return false;
    std::string contents;
    char buffer[4096];
    for (size_t read; (read = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        contents.append(buffer, read);
    std::fclose(file);
    return contents.find(text) != std::string::npos;
}

}  // namespace

int main()
{
    bool ok = true;

    const std::wstring message = catalogueMessage(MSG_VRC1004_PRINT_FAILED_UNABLE_CREATE_FILE, L"report.tmp");
    std::printf("catalogue: %s\n", message.empty() ? "<no message>" : utf8(message).c_str());
    ok &= !message.empty();

    char line[64];
    std::snprintf(line, sizeof line, "package client %lu", GetCurrentProcessId());
    DBG_Print(__FILE__, __LINE__, DBG_MASK_REL, DBG_Text("%s", line));
    wchar_t driverLog[MAX_PATH];
    const bool traced = DBG_DriverLogPath(driverLog, MAX_PATH) && fileHolds(driverLog, line);
    std::printf("trace: %s\n", traced ? "line written to the driver log" : "<no line in the driver log>");
    ok &= traced;

    const int liveBefore = PoolLiveCount();
    char* block = static_cast<char*>(PoolAllocZero(100, 1));
    const bool allocated = block && PoolSize(block) >= 100 && PoolLiveCount() == liveBefore + 1 && block[99] == 0;
    if (block)
        std::memset(block, 'x', 100);
    PoolFree(block);
    const bool freed = PoolLiveCount() == liveBefore;
    std::printf("pool: %s\n", allocated && freed ? "100 bytes allocated and freed" : "<allocation failed>");
    ok &= allocated && freed;

    return ok ? 0 : 1;
}
