#include "system/core/atom_packing.h"

#include <algorithm>
#include <array>
#include <climits>

namespace vr::system::atoms {
namespace {

using Buffer = std::array<wchar_t, kBufferChars>;

// Appends "<atom> " to the list; false when it would not fit with its NUL.
bool appendListEntry(Buffer& list, std::size_t& used, std::uint16_t atom) noexcept
{
    wchar_t digits[8];
    std::size_t count = 0;
    unsigned value = atom;
    do {
        digits[count++] = static_cast<wchar_t>(L'0' + value % 10);
        value /= 10;
    } while (value != 0);
    if (used + count + 1 >= list.size())
        return false;
    while (count > 0)
        list[used++] = digits[--count];
    list[used++] = L' ';
    list[used] = L'\0';
    return true;
}

void removeAll(AtomTable& table, std::span<const std::uint16_t> atoms) noexcept
{
    for (std::uint16_t atom : atoms)
        table.remove(atom);
}

}  // namespace

std::uint16_t tokenToAtom(std::wstring_view token) noexcept
{
    std::size_t at = 0;
    bool negative = false;
    if (at < token.size() && (token[at] == L'+' || token[at] == L'-'))
        negative = token[at++] == L'-';
    long long value = 0;
    for (; at < token.size() && token[at] >= L'0' && token[at] <= L'9'; ++at) {
        value = value * 10 + (token[at] - L'0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        value = -value;
    value = std::clamp<long long>(value, INT_MIN, INT_MAX);
    return static_cast<std::uint16_t>(static_cast<unsigned>(static_cast<int>(value)) & 0xFFFFu);
}

std::uint16_t addPacked(AtomTable& table, std::wstring_view text) noexcept
{
    Buffer chunk{};
    if (text.size() <= kChunkChars) {
        std::copy(text.begin(), text.end(), chunk.begin());
        return table.add(chunk.data());
    }
    // A longer text would need more list entries than the list atom holds.
    if (text.size() > kMaxPackedChars)
        return 0;

    Buffer list{};
    std::copy(kPackedMarker.begin(), kPackedMarker.end(), list.begin());
    std::size_t used = kPackedMarker.size();

    // Every chunk but the last has 127 characters; the last has 1 to 127.
    std::array<std::uint16_t, kMaxChunks> added{};
    std::size_t addedCount = 0;
    for (std::size_t position = 0; position < text.size(); position += kChunkChars) {
        const std::wstring_view piece(text.data() + position, std::min(kChunkChars, text.size() - position));
        std::fill(chunk.begin(), chunk.end(), L'\0');
        std::copy(piece.begin(), piece.end(), chunk.begin());
        const std::uint16_t atom = table.add(chunk.data());
        // A missing chunk would hand the reader a text with a hole in it.
        if (atom == 0) {
            removeAll(table, std::span(added).first(addedCount));
            return 0;
        }
        added[addedCount++] = atom;
        // Integer atoms ("#12") have shorter numbers than string atoms, so
        // the length check above bounds the list only together with this one.
        if (!appendListEntry(list, used, atom)) {
            removeAll(table, std::span(added).first(addedCount));
            return 0;
        }
    }

    const std::uint16_t listAtom = table.add(list.data());
    if (listAtom == 0)
        removeAll(table, std::span(added).first(addedCount));
    return listAtom;
}

void readPacked(AtomTable& table, std::uint16_t atom, std::span<wchar_t> out) noexcept
{
    if (out.empty())
        return;
    out[0] = L'\0';

    Buffer name{};
    const std::size_t nameLength = table.name(atom, name);
    const std::wstring_view list(name.data(), nameLength);
    // By hand, like the views cut below: substr, also inside starts_with, reports a bad range by
    // throwing, which would need the C++ runtime.
    const bool packed =
        nameLength >= kPackedMarker.size() && std::equal(kPackedMarker.begin(), kPackedMarker.end(), name.begin());
    if (!packed) {
        const std::size_t count = std::min(out.size() - 1, nameLength);
        std::copy_n(name.begin(), count, out.begin());
        out[count] = L'\0';
        return;
    }

    Buffer chunk{};
    std::size_t used = 0;
    std::size_t position = 0;
    while (position < list.size()) {
        const std::size_t end = std::min(list.find(L' ', position), list.size());
        const std::wstring_view token(list.data() + position, end - position);
        position = end + 1;
        if (token.empty())
            continue;
        // 0 is the marker token itself, or a chunk that was never added.
        const std::uint16_t chunkAtom = tokenToAtom(token);
        if (chunkAtom == 0)
            continue;
        // Taken already by another reader, or deleted.
        const std::size_t chunkLength = table.name(chunkAtom, chunk);
        if (chunkLength == 0)
            continue;
        // Only whole chunks: the first that does not fit ends the text, and
        // it and the rest stay in the table.
        if (chunkLength + used >= out.size())
            break;
        std::copy_n(chunk.begin(), chunkLength, out.begin() + static_cast<std::ptrdiff_t>(used));
        used += chunkLength;
        out[used] = L'\0';
        table.remove(chunkAtom);
    }
}

}  // namespace vr::system::atoms
