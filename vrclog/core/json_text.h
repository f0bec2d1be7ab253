// JSON text from log bytes. Logs are in the writer's code page: text with
// bytes of 0x80 and above is decoded by that code page, so the output is
// UTF-8 and valid JSON for any bytes. No platform calls.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "code_page.h"

namespace vr::vrclog {

// What a byte becomes in a JSON string: itself, its escape or its character
// as UTF-8. Eight bytes in all, so that one is copied as one word.
struct ByteJson {
    std::array<char, 7> bytes{};
    uint8_t length = 0;
};

// Builds one JSON text after another in a buffer it keeps, its strings from
// bytes in one code page. Each piece makes room once for the most bytes it
// can become and is then written without a check per byte: vrclog lines
// --json writes ten members for every record of a log, so this is where that
// command spends its time.
class JsonWriter {
public:
    explicit JsonWriter(CodePage& codePage);

    // Starts the next text; the buffer is kept.
    void clear() noexcept { end_ = buffer_.get(); }
    std::string_view text() const noexcept { return {buffer_.get(), static_cast<std::size_t>(end_ - buffer_.get())}; }

    // JSON as it is: punctuation, member names, a string already quoted.
    void putRaw(std::string_view json)
    {
        std::memcpy(room(json.size()), json.data(), json.size());
        end_ += json.size();
    }
    // Bytes in the code page as a quoted JSON string.
    void putString(std::string_view bytes);
    // The same without the quotes, for a string written in pieces.
    void putCharacters(std::string_view bytes);
    void putNumber(int64_t value);

private:
    char* room(std::size_t bytes)
    {
        if (static_cast<std::size_t>(limit_ - end_) < bytes)
            grow(bytes);
        return end_;
    }
    void grow(std::size_t bytes);
    void putDecoded(std::string_view bytes);

    std::unique_ptr<char[]> buffer_;  // the text, then room up to limit_
    char* end_ = nullptr;
    char* limit_ = nullptr;
    CodePage& codePage_;
    // A code page of one byte per character: what each byte becomes.
    bool singleByte_ = false;
    std::array<ByteJson, 256> bytes_{};
    std::string decoded_;  // text of a code page of several bytes per character, before it is escaped
};

}  // namespace vr::vrclog
