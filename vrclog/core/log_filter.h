// Which records a command looks at: by process, ids, class, time and text.
// Every filter given must hold. No platform calls.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "log_reader.h"

namespace vr::vrclog {

struct LogFilter {
    std::string processName;  // executable base name, ASCII case ignored; empty: any
    std::optional<uint32_t> processId;
    std::optional<uint32_t> threadId;
    uint32_t classes = 0;  // bits of classBit(); 0: any class
    std::string from;  // kTimeLength characters, or empty
    std::string to;  // kTimeLength characters, or empty
    std::string text;  // anywhere in the record's bytes; empty: any

    bool matches(const LogRecord& record) const noexcept;
};

constexpr uint32_t classBit(LineClass lineClass) noexcept { return 1u << static_cast<unsigned>(lineClass); }

// "REL", "TRC", "DBG", "ENTRY" or "ERROR" (ASCII case ignored).
std::optional<LineClass> classByName(std::string_view name) noexcept;

// "YYYY-MM-DD HH:MM:SS" or "YYYY-MM-DD HH:MM:SS.mmm" as the 23 characters of
// a log time: a missing fraction reads as the first (or, for an upper bound,
// the last) millisecond of that second.
std::optional<std::string> normalizeTime(std::string_view text, bool upperBound);

bool equalsIgnoringCase(std::string_view a, std::string_view b) noexcept;

}  // namespace vr::vrclog
