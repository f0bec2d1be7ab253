// JSON strings from log bytes. Logs are in the writer's code page: text with
// bytes of 0x80 and above is decoded by that code page, so the output is
// UTF-8 and valid JSON for any bytes. No platform calls.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "code_page.h"

namespace vr::vrclog {

// Appends bytes as a quoted JSON string.
void appendJsonString(std::string& out, std::string_view bytes, CodePage& codePage);
// The same without the quotes, for a string written in pieces.
void appendJsonCharacters(std::string& out, std::string_view bytes, CodePage& codePage);

void appendJsonNumber(std::string& out, int64_t value);

}  // namespace vr::vrclog
