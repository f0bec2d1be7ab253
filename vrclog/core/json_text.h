// JSON strings from log bytes. Logs are in the writer's code page, not UTF-8:
// well-formed UTF-8 sequences are kept as they are, and every other byte of
// 0x80 and above is written as \u00XX, the character of that value (which is
// the byte's meaning in Latin-1 and, for most letters, in code page 1252).
// No platform calls.
#pragma once

#include <string>
#include <string_view>

namespace vr::vrclog {

// Appends bytes as a quoted JSON string.
void appendJsonString(std::string& out, std::string_view bytes);

}  // namespace vr::vrclog
