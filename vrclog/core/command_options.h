// What a vrclog command line asks for, as the commands read it, and the exit
// codes they end with. No platform calls.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "log_filter.h"

namespace vr::vrclog {

inline constexpr int kExitDone = 0;
inline constexpr int kExitNothingMatched = 1;
inline constexpr int kExitBadCommandLine = 2;
inline constexpr int kExitCannotRead = 3;

enum class Command { Help, Lines, Tree, Summary, Perfetto };

struct Options {
    Command command = Command::Help;
    LogFilter filter;
    std::string outputPath;  // perfetto's -o
    bool follow = false;  // lines --follow: the lines appended from now on
    bool json = false;  // lines --json: each record as one JSON object on a line
    uint32_t codePage = 0;  // the logs' code page; 0: the ANSI code page of this machine
    std::optional<int> utcOffsetMinutes;  // the logs' zone; none: this machine's
    std::vector<std::string> logs;
};

}  // namespace vr::vrclog
