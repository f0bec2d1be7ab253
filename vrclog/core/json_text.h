// JSON strings from log bytes. Logs are in the writer's code page, not UTF-8:
// well-formed UTF-8 sequences are kept as they are, and every other byte of
// 0x80 and above is written as \u00XX, the character of that value (which is
// the byte's meaning in Latin-1 and, for most letters, in code page 1252).
// No platform calls.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vr::vrclog {

// Appends bytes as a quoted JSON string.
void appendJsonString(std::string& out, std::string_view bytes);
// The same without the quotes, for a string written in pieces.
void appendJsonCharacters(std::string& out, std::string_view bytes);

void appendJsonNumber(std::string& out, int64_t value);

}  // namespace vr::vrclog
