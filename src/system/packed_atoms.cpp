// Long texts as global atoms, on the desktop's global atom table.
#include "vrcommon.h"

#include "system/core/atom_packing.h"

#include <cwchar>

namespace {

class GlobalAtomTable final : public vr::system::atoms::AtomTable {
public:
    std::uint16_t add(const wchar_t* text) noexcept override { return GlobalAddAtomW(text); }

    std::size_t name(std::uint16_t atom, std::span<wchar_t, vr::system::atoms::kBufferChars> buffer) noexcept override
    {
        // A name too long for the buffer fails (ERROR_MORE_DATA) and counts as none.
        const UINT length = GlobalGetAtomNameW(atom, buffer.data(), static_cast<int>(buffer.size()));
        if (length == 0 || length >= buffer.size()) {
            buffer[0] = L'\0';
            return 0;
        }
        buffer[length] = L'\0';
        return length;
    }

    void remove(std::uint16_t atom) noexcept override { GlobalDeleteAtom(atom); }
};

}  // namespace

extern "C" ATOM VRC_AddPackedAtom(const wchar_t* text)
{
    if (text == nullptr)
        return 0;
    GlobalAtomTable table;
    return vr::system::atoms::addPacked(table, std::wstring_view(text, std::wcslen(text)));
}

extern "C" wchar_t* VRC_GetPackedAtom(ATOM atom, wchar_t* buffer, int capacity)
{
    if (buffer == nullptr || capacity <= 0)
        return buffer;
    GlobalAtomTable table;
    vr::system::atoms::readPacked(table, atom, std::span(buffer, static_cast<std::size_t>(capacity)));
    return buffer;
}
