// vrclog's command line and the run of a command: opening the logs, the
// command itself, the exit code. No platform calls.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "command_options.h"
#include "text_sink.h"

namespace vr::vrclog {

struct ParsedCommandLine {
    Options options;
    std::string error;  // empty when the command line is good
};

ParsedCommandLine parseCommandLine(std::span<const std::string> arguments);
std::string_view usageText() noexcept;

// Runs a parsed command over its logs: output to out, messages to errors.
// Gives the exit code.
int runCommand(const Options& options, TextSink& out, TextSink& errors);

}  // namespace vr::vrclog
