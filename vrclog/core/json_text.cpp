#include "json_text.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vr::vrclog {

namespace {

static_assert(sizeof(ByteJson) == 8 && offsetof(ByteJson, length) == 7);
static_assert(std::endian::native == std::endian::little, "a word's last byte is its highest");

constexpr char kHexDigits[] = "0123456789abcdef";

constexpr std::array<ByteJson, 128> kAsciiJson = [] {
    std::array<ByteJson, 128> table{};
    const auto set = [&](int c, std::string_view json) {
        for (std::size_t i = 0; i < json.size(); ++i)
            table[static_cast<std::size_t>(c)].bytes[i] = json[i];
        table[static_cast<std::size_t>(c)].length = static_cast<uint8_t>(json.size());
    };
    for (int c = 0; c < 0x20; ++c) {
        const char escape[] = {'\\', 'u', '0', '0', kHexDigits[c >> 4], kHexDigits[c & 0x0F]};
        set(c, std::string_view(escape, sizeof escape));
    }
    for (int c = 0x20; c < 0x80; ++c) {
        const char self = static_cast<char>(c);
        set(c, std::string_view(&self, 1));
    }
    set('"', "\\\"");
    set('\\', "\\\\");
    set('\n', "\\n");
    set('\r', "\\r");
    set('\t', "\\t");
    return table;
}();

// The most bytes a byte of a log becomes: a control character as "\u001f".
constexpr std::size_t kMostBytesPerByte = 6;
// Plain ASCII is copied in blocks of this size.
constexpr std::size_t kBlockBytes = 16;
// Room past the most bytes of a piece for a block or a table entry written
// whole and kept in part.
constexpr std::size_t kSpareBytes = kBlockBytes;

// Copies a block of bytes whole and tells how many of them, from the first
// on, a JSON string holds as they are: printable ASCII but '"' and '\\'.
std::size_t copyPlainBlock(const char* from, char* to) noexcept
{
#if defined(__SSE2__)
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), block);
    // As signed bytes, 0x80 and above are below 0x20 too.
    const __m128i notPlain = _mm_or_si128(
        _mm_cmplt_epi8(block, _mm_set1_epi8(0x20)),
        _mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8('"')), _mm_cmpeq_epi8(block, _mm_set1_epi8('\\'))));
    const auto marks = static_cast<unsigned>(_mm_movemask_epi8(notPlain));
    return marks == 0 ? kBlockBytes : static_cast<std::size_t>(std::countr_zero(marks));
#else
    std::memcpy(to, from, kBlockBytes);
    std::size_t plain = 0;
    while (plain < kBlockBytes && static_cast<unsigned char>(from[plain]) < 0x80 &&
           kAsciiJson[static_cast<unsigned char>(from[plain])].length == 1)
        ++plain;
    return plain;
#endif
}

// Writes a byte's JSON as one word and keeps its length of it.
char* putByte(char* to, const ByteJson& json) noexcept
{
    uint64_t word;
    std::memcpy(&word, &json, sizeof word);
    std::memcpy(to, &word, sizeof word);
    return to + (word >> 56);
}

}  // namespace

JsonWriter::JsonWriter(CodePage& codePage) : codePage_(codePage)
{
    std::copy(kAsciiJson.begin(), kAsciiJson.end(), bytes_.begin());
    if (const UpperHalfUtf8* upper = codePage.upperHalf()) {
        for (std::size_t i = 0; i < upper->bytes.size(); ++i) {
            std::copy_n(upper->bytes[i].begin(), upper->bytes[i].size(), bytes_[0x80 + i].bytes.begin());
            bytes_[0x80 + i].length = upper->length[i];
        }
        singleByte_ = true;
    }
}

void JsonWriter::grow(std::size_t bytes)
{
    const std::size_t used = static_cast<std::size_t>(end_ - buffer_.get());
    const std::size_t capacity = std::max(2 * static_cast<std::size_t>(limit_ - buffer_.get()), used + bytes);
    auto grown = std::make_unique_for_overwrite<char[]>(capacity);
    if (used != 0)
        std::memcpy(grown.get(), buffer_.get(), used);
    buffer_ = std::move(grown);
    end_ = buffer_.get() + used;
    limit_ = buffer_.get() + capacity;
}

void JsonWriter::putString(std::string_view bytes)
{
    putRaw("\"");
    putCharacters(bytes);
    putRaw("\"");
}

void JsonWriter::putCharacters(std::string_view bytes)
{
    char* to = room(kMostBytesPerByte * bytes.size() + kSpareBytes);
    const char* from = bytes.data();
    const char* const end = from + bytes.size();
    if (!singleByte_) {
        // Several bytes per character: ASCII up to the first other byte, the
        // rest decoded whole, since a trail byte can look like ASCII. That
        // first byte begins a character: no ASCII byte is a lead byte.
        while (from != end && static_cast<unsigned char>(*from) < 0x80)
            to = putByte(to, kAsciiJson[static_cast<unsigned char>(*from++)]);
        end_ = to;
        if (from != end)
            putDecoded(std::string_view(from, static_cast<std::size_t>(end - from)));
        return;
    }
    // One byte per character: each byte by the table, but printable ASCII,
    // the most of any log, a block at a time; each block is copied whole and
    // kept up to its first other byte.
    while (end - from >= static_cast<std::ptrdiff_t>(kBlockBytes)) {
        const std::size_t plain = copyPlainBlock(from, to);
        from += plain;
        to += plain;
        if (plain < kBlockBytes)
            to = putByte(to, bytes_[static_cast<unsigned char>(*from++)]);
    }
    while (from != end)
        to = putByte(to, bytes_[static_cast<unsigned char>(*from++)]);
    end_ = to;
}

void JsonWriter::putDecoded(std::string_view bytes)
{
    decoded_.clear();
    codePage_.decode(bytes, decoded_);
    // UTF-8 now: only the ASCII characters JSON reserves are escaped.
    char* to = room(kMostBytesPerByte * decoded_.size() + kSpareBytes);
    for (const char c : decoded_) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80)
            *to++ = c;
        else
            to = putByte(to, kAsciiJson[byte]);
    }
    end_ = to;
}

void JsonWriter::putNumber(int64_t value)
{
    constexpr std::size_t kMostDigits = 20;  // "-9223372036854775808"
    char* const to = room(kMostDigits);
    end_ = std::to_chars(to, to + kMostDigits, value).ptr;
}

}  // namespace vr::vrclog
