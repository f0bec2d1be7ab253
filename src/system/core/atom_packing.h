// Long texts handed between processes as one 16-bit global atom.
//
// A global atom names at most 255 characters, so a text of 128 characters or
// more is cut into chunks of 127, each chunk becomes an atom, and one more
// atom carries the list of chunk atoms behind the marker "VRPackedString: ".
// The reader puts the text together again and deletes the chunks it took.
// This file holds the packing and reading rules; the atom table itself is
// behind AtomTable so that the rules run without Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace vr::system::atoms {

inline constexpr std::size_t kChunkChars = 127;  // a chunk, and the longest text stored as is
inline constexpr std::size_t kBufferChars = 128;  // every work buffer, NUL included
inline constexpr std::wstring_view kPackedMarker = L"VRPackedString: ";

// String atoms are numbered 0xC000 to 0xFFFF: five digits and a space per
// list entry. 16 + 18 * 6 + 1 = 125 characters fit the 128-character list.
inline constexpr std::size_t kMaxChunks = 18;
inline constexpr std::size_t kMaxPackedChars = kMaxChunks * kChunkChars;  // 2286
static_assert(kPackedMarker.size() + kMaxChunks * 6 + 1 <= kBufferChars);

// The global atom table as the packer sees it.
class AtomTable {
public:
    // Adds (or references) the NUL-terminated text; 0 on failure.
    virtual std::uint16_t add(const wchar_t* text) noexcept = 0;
    // Copies the atom's name, NUL-terminated, into a buffer of kBufferChars
    // and returns its length; 0 when the atom has no name that fits.
    virtual std::size_t name(std::uint16_t atom, std::span<wchar_t, kBufferChars> buffer) noexcept = 0;
    virtual void remove(std::uint16_t atom) noexcept = 0;

protected:
    ~AtomTable() = default;
};

// The atom that stands for the text, or 0. A text longer than
// kMaxPackedChars, or one whose chunk or list atom cannot be added, gives 0
// and leaves no chunk atom behind.
std::uint16_t addPacked(AtomTable& table, std::wstring_view text) noexcept;

// Fills out (its size is the caller's capacity, at least 1) with the text
// of the atom: a plain atom's name cut to fit, or for a packed list the
// leading whole chunks that fit, each chunk atom deleted once taken. The
// atom passed in is never deleted.
void readPacked(AtomTable& table, std::uint16_t atom, std::span<wchar_t> out) noexcept;

// One list token as an atom number: decimal with an optional sign, read up
// to the first other character and saturated like the C library's wtoi,
// then cut to its low 16 bits. "VRPackedString:" itself gives 0.
std::uint16_t tokenToAtom(std::wstring_view token) noexcept;

}  // namespace vr::system::atoms
