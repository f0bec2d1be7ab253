// vrcmsg: shows the messages of VRCCLN62.dll for the people who support and
// build the product. The decisions live in core/message_tool; this file only
// loads the library, reads its message table and talks to the console.
#include <windows.h>

#include <cstdarg>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "message_tool.h"
#include "platform/handles.h"

namespace cat = vr::catalogue;

namespace {

constexpr wchar_t kLibraryName[] = L"VRCCLN62.dll";
constexpr WORD kMessageTableName = 1;

using FormatExport = wchar_t* (*)(DWORD messageId, va_list* arguments);

const wchar_t* asWide(const std::u16string& text) noexcept { return reinterpret_cast<const wchar_t*>(text.c_str()); }

// Console windows take UTF-16 as it is; a pipe or file gets UTF-8, so that the
// output reads the same whatever the console code page.
void write(DWORD stream, std::u16string_view text)
{
    HANDLE handle = GetStdHandle(stream);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || text.empty())
        return;
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(handle, &mode)) {
        WriteConsoleW(handle, wide, static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return;
    std::string utf8(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(text.size()), utf8.data(), bytes, nullptr, nullptr);
    WriteFile(handle, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

void writeLine(DWORD stream, std::u16string_view text)
{
    write(stream, text);
    write(stream, u"\r\n");
}

int fail(int exitCode, std::u16string_view text)
{
    writeLine(STD_ERROR_HANDLE, u"vrcmsg: " + std::u16string(text));
    return exitCode;
}

// The library beside this program first, then wherever the loader finds it.
std::wstring libraryPath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return kLibraryName;
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    path.erase(path.find_last_of(L"\\/") + 1);
    path += kLibraryName;
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES ? path : std::wstring(kLibraryName);
}

std::u16string lastErrorText(std::u16string_view what)
{
    return std::u16string(what) + u" (error " + cat::widen(std::to_string(GetLastError())) + u")";
}

int formatMessage(const std::wstring& path, const cat::MessageTable& table, const cat::Request& request)
{
    const cat::MessageEntry* entry =
        request.id ? table.find(*request.id) : cat::findByTextCode(table, request.textCode);
    if (!entry) {
        const std::u16string name = request.id ? cat::hexIdentifier(*request.id) : request.textCode;
        return fail(cat::kExitNotFound, u"no message " + name + u" in the catalogue");
    }
    const cat::InsertPlan plan = cat::planInserts(table.text(*entry));
    const cat::BoundInserts bound = cat::bindInserts(plan, request.inserts);
    if (!bound.error.empty())
        return fail(cat::kExitBadRequest, cat::hexIdentifier(entry->id) + u": " + bound.error);

    // The export is called as a product component calls it, in a normally
    // loaded library, so that this shows what the components get.
    vr::UniqueLibrary library(LoadLibraryW(path.c_str()));
    if (!library)
        return fail(cat::kExitEnvironment, lastErrorText(u"cannot load VRCCLN62.dll"));
    const auto formatExport = vr::bind<FormatExport>(library.get(), "MSG_FormatMessageW");
    if (!formatExport)
        return fail(cat::kExitEnvironment, u"VRCCLN62.dll has no MSG_FormatMessageW");

    // A va_list cannot be built from a list known only at run time in standard
    // C++. On x64 Windows, though, a va_list is a plain pointer to consecutive
    // 8-byte slots, one per argument, and the formatter reads insert n from
    // slot n-1: a pointer for a string insert, the low 32 bits for an integer
    // one. An array of such slots therefore is a valid argument list.
    static_assert(sizeof(va_list) == sizeof(void*) && sizeof(void*) == sizeof(uint64_t),
                  "argument slots assume the x64 Windows va_list");
    std::vector<uint64_t> slots;
    std::vector<std::wstring> texts;  // keeps the strings the slots point to
    texts.reserve(bound.values.size());
    for (const cat::InsertValue& value : bound.values) {
        if (value.kind == cat::InsertKind::Integer) {
            slots.push_back(value.number);
        } else {
            texts.emplace_back(asWide(value.text));
            slots.push_back(reinterpret_cast<uintptr_t>(texts.back().c_str()));
        }
    }
    va_list arguments = slots.empty() ? nullptr : reinterpret_cast<va_list>(slots.data());
    vr::UniqueLocalBlock<wchar_t> formatted(formatExport(entry->id, slots.empty() ? nullptr : &arguments));
    if (!formatted)
        return fail(cat::kExitEnvironment, cat::hexIdentifier(entry->id) + u": formatting failed");

    const std::u16string_view text(reinterpret_cast<const char16_t*>(formatted.get()));
    write(STD_OUTPUT_HANDLE, text);
    if (!text.ends_with(u"\n"))
        write(STD_OUTPUT_HANDLE, u"\r\n");
    return cat::kExitOk;
}

int run(const std::vector<std::u16string>& arguments)
{
    const cat::ParsedCommandLine parsed = cat::parseCommandLine(arguments);
    const cat::Request& request = parsed.request;
    if (request.command == cat::Command::Help) {
        write(STD_OUTPUT_HANDLE, cat::usageText());
        return cat::kExitOk;
    }
    if (request.command == cat::Command::Usage) {
        fail(cat::kExitBadRequest, parsed.error);
        write(STD_ERROR_HANDLE, cat::usageText());
        return cat::kExitBadRequest;
    }

    // The message table is read from the file as data: that needs no start-up
    // of the library and shows what is stored, including what is never produced.
    const std::wstring path = libraryPath();
    vr::UniqueLibrary data(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!data)
        return fail(cat::kExitEnvironment, lastErrorText(u"cannot open VRCCLN62.dll"));
    HRSRC resource = FindResourceW(data.get(), MAKEINTRESOURCEW(kMessageTableName), MAKEINTRESOURCEW(11));
    HGLOBAL loaded = resource ? LoadResource(data.get(), resource) : nullptr;
    const auto* bytes = loaded ? static_cast<const uint8_t*>(LockResource(loaded)) : nullptr;
    if (!bytes)
        return fail(cat::kExitEnvironment, lastErrorText(u"VRCCLN62.dll has no message table"));
    cat::TableFault fault = cat::TableFault::None;
    const auto table = cat::MessageTable::parse({bytes, SizeofResource(data.get(), resource)}, &fault);
    if (!table)
        return fail(cat::kExitEnvironment, u"the message table is damaged: " + cat::widen(cat::describe(fault)));

    if (request.command == cat::Command::Format)
        return formatMessage(path, *table, request);

    std::vector<const cat::MessageEntry*> shown;
    if (request.command == cat::Command::List) {
        for (const cat::MessageEntry& entry : table->entries())
            shown.push_back(&entry);
    } else {
        shown = cat::search(*table, request.searchText);
    }
    std::u16string out;
    for (const cat::MessageEntry* entry : shown)
        out += cat::listingLine(*table, *entry) + u"\r\n";
    write(STD_OUTPUT_HANDLE, out);
    if (shown.empty())
        return fail(cat::kExitNotFound, u"no message holds \"" + request.searchText + u"\"");
    return cat::kExitOk;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    try {
        std::vector<std::u16string> arguments;
        for (int i = 1; i < argc; ++i)
            arguments.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
        return run(arguments);
    } catch (const std::bad_alloc&) {
        return fail(cat::kExitEnvironment, u"out of memory");
    }
}
