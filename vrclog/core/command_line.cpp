#include "command_line.h"

#include <cerrno>
#include <charconv>
#include <cstring>

#include "code_page.h"
#include "command_lines.h"
#include "command_perfetto.h"
#include "command_summary.h"
#include "command_tree.h"
#include "log_filter.h"
#include "log_follow.h"
#include "log_merge.h"

namespace vr::vrclog {

namespace {

std::optional<uint32_t> parseId(std::string_view text) noexcept
{
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
        base = 16;
    }
    uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<Command> commandByName(std::string_view name) noexcept
{
    if (name == "lines")
        return Command::Lines;
    if (name == "tree")
        return Command::Tree;
    if (name == "summary")
        return Command::Summary;
    if (name == "perfetto")
        return Command::Perfetto;
    return std::nullopt;
}

// Applies one option with its value; gives an error text or an empty one.
std::string applyOption(std::string_view name, const std::string& value, Options& options)
{
    LogFilter& filter = options.filter;
    if (name == "--process") {
        filter.processName = value;
    } else if (name == "--pid" || name == "--tid") {
        const auto id = parseId(value);
        if (!id)
            return std::string(name) + " needs a number (decimal, or hexadecimal with 0x), not '" + value + "'";
        (name == "--pid" ? filter.processId : filter.threadId) = *id;
    } else if (name == "--class") {
        const auto lineClass = classByName(value);
        if (!lineClass)
            return "--class takes REL, TRC, DBG, ENTRY or ERROR, not '" + value + "'";
        filter.classes |= classBit(*lineClass);
    } else if (name == "--from" || name == "--to") {
        const bool upper = name == "--to";
        const auto time = normalizeTime(value, upper);
        if (!time)
            return std::string(name) + " takes a time as YYYY-MM-DD HH:MM:SS[.mmm], not '" + value + "'";
        (upper ? filter.to : filter.from) = *time;
    } else if (name == "--grep") {
        if (value.empty())
            return "--grep needs a text to look for";
        filter.text = value;
    } else if (name == "--code-page") {
        const auto number = parseId(value);
        // 1 to 3 are the platform's names for this machine's own code pages.
        if (!number || *number <= 3 || *number > 0xFFFF)
            return "--code-page needs a code page number such as 1252, 1251 or 932, not '" + value + "'";
        options.codePage = *number;
    } else if (name == "--utc-offset") {
        options.utcOffsetMinutes = parseUtcOffset(value);
        if (!options.utcOffsetMinutes)
            return "--utc-offset takes +HH:MM or -HH:MM (or Z), not '" + value + "'";
    } else if (name == "-o" || name == "--output") {
        if (options.command != Command::Perfetto)
            return std::string(name) + " is for the perfetto command only";
        options.outputPath = value;
    } else {
        return "unknown option '" + std::string(name) + "'";
    }
    return {};
}

bool takesValue(std::string_view name) noexcept
{
    for (std::string_view known : {"--process", "--pid", "--tid", "--class", "--from", "--to", "--grep", "--code-page",
                                   "--utc-offset", "-o", "--output"})
        if (name == known)
            return true;
    return false;
}

}  // namespace

std::string_view usageText() noexcept
{
    return "Usage:\n"
           "  vrclog lines [filters] LOG...             print the matching trace lines, whole\n"
           "  vrclog lines --follow [filters] LOG       (or -f) print them as they are appended, until Ctrl+C\n"
           "  vrclog lines --json [--follow] ...        each record as one JSON object on a line (JSON Lines)\n"
           "  vrclog tree [filters] LOG...              the call tree of each thread, from its function entries\n"
           "  vrclog summary [filters] LOG...           threads, functions by calls, TRC texts by repeats, errors\n"
           "  vrclog perfetto -o FILE [filters] LOG...  a trace file for Perfetto or chrome://tracing\n"
           "Logs and backups given together (VRCDBG62.BAK VRCDBG62.LOG VRCDRV62.LOG) are read as one\n"
           "stream in time order. Filters, all of which must hold (--class may be repeated):\n"
           "  --process NAME  executable name without .exe   --pid N, --tid N  decimal, or hexadecimal with 0x\n"
           "  --class REL|TRC|DBG|ENTRY|ERROR                --grep TEXT       text anywhere in the line\n"
           "  --from TIME, --to TIME  YYYY-MM-DD HH:MM:SS[.mmm], both included\n"
           "--follow starts at the log's current end (the lines already in it are not printed), prints each\n"
           "matching record once it is whole, carries on in the new log after a rotation (the followed\n"
           "file becomes the backup) and ends with exit code 0 at Ctrl+C.\n"
           "Text is decoded from the logs' code page: --code-page N for a log written on a machine with\n"
           "another ANSI code page (1252 Western, 1250 Central European, 1251 Cyrillic, 932 Japanese, 936\n"
           "Chinese, 949 Korean...); by default this machine's. Bytes it does not define read as U+FFFD.\n"
           "Plain lines are printed as the log holds them; --grep and --process take their text in it.\n"
           "--json members: time, module, process, pid, tid, file, line, class, text (the whole text), log,\n"
           "and count for a folded record; UTF-8, line breaks in the text as \\n. The time carries its\n"
           "offset from UTC: this machine's zone at that time, or --utc-offset +HH:MM|-HH:MM for a log from\n"
           "a machine in another zone. One line per record, for a log shipper's standard input:\n"
           "  vrclog lines --follow --json VRCDRV62.LOG | fluent-bit -c vrclog.conf\n"
           R"(  {"time":"2026-12-08T00:48:38.473+01:00","module":"VRCCLN","process":"vrclog_corpus_writer",)"
           R"("pid":308,"tid":320,"file":"corpus_writer.cpp","line":62,"class":"REL",)"
           R"("text":"job 0 started on thread 2","log":"VRCDRV62.LOG"})"
           "\n"
           "A one-off read leaves out a last line that is still being written (no line end yet).\n"
           "Exit codes: 0 done, 1 nothing matched, 2 bad command line, 3 a log cannot be read\n"
           "(or the output cannot be written).\n";
}

ParsedCommandLine parseCommandLine(std::span<const std::string> arguments)
{
    ParsedCommandLine parsed;
    Options& options = parsed.options;
    if (arguments.empty()) {
        parsed.error = "no command given";
        return parsed;
    }
    const std::string& first = arguments.front();
    if (first == "--help" || first == "-h" || first == "/?" || first == "help") {
        options.command = Command::Help;
        return parsed;
    }
    const auto command = commandByName(first);
    if (!command) {
        parsed.error = "unknown command '" + first + "'";
        return parsed;
    }
    options.command = *command;
    bool optionsEnded = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument.empty() || argument[0] != '-' || argument == "-") {
            options.logs.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (argument == "--help" || argument == "-h") {
            options.command = Command::Help;
            return parsed;
        }
        if (argument == "--follow" || argument == "-f" || argument == "--json") {
            if (options.command != Command::Lines) {
                parsed.error = argument + " is for the lines command only";
                return parsed;
            }
            (argument == "--json" ? options.json : options.follow) = true;
            continue;
        }
        std::string name = argument;
        std::string value;
        const std::size_t equals = argument.find('=');
        if (argument.starts_with("--") && equals != std::string::npos) {
            name = argument.substr(0, equals);
            value = argument.substr(equals + 1);
        } else if (takesValue(argument)) {
            if (i + 1 >= arguments.size()) {
                parsed.error = argument + " needs a value";
                return parsed;
            }
            value = arguments[++i];
        }
        parsed.error = applyOption(name, value, options);
        if (!parsed.error.empty())
            return parsed;
    }
    if (options.logs.empty())
        parsed.error = "no log given";
    else if (options.command == Command::Perfetto && options.outputPath.empty())
        parsed.error = "perfetto needs the output file: -o FILE";
    else if (options.follow && options.logs.size() != 1)
        parsed.error = "--follow takes one log";
    return parsed;
}

int runCommand(const Options& options, TextSink& out, TextSink& errors)
{
    if (options.command == Command::Help) {
        out.write(usageText());
        return out.flush() ? kExitDone : kExitCannotRead;
    }
    std::string error;
    const std::unique_ptr<CodePage> codePage = openCodePage(options.codePage, error);
    if (!codePage) {
        errors.write("vrclog: " + error + "\n");
        return kExitBadCommandLine;
    }
    // Filters compare the log's own bytes: their text is put in its code page.
    LogFilter filter = options.filter;
    for (std::string* text : {&filter.text, &filter.processName}) {
        std::string inLog;
        if (!codePage->encode(*text, inLog)) {
            errors.write("vrclog: '" + *text + "' cannot be written in code page " +
                         std::to_string(codePage->number()) + ", so no log in it holds it\n");
            return kExitNothingMatched;
        }
        *text = std::move(inLog);
    }
    RecordPrinter printer(options, *codePage);
    if (options.follow)
        return followLines(*openLiveLog(options.logs.front()), options.logs.front(), filter, printer, out, errors);
    LogMerge logs;
    if (!logs.open(options.logs, error)) {
        errors.write("vrclog: " + error + "\n");
        return kExitCannotRead;
    }
    bool matched = false;
    bool written = true;
    switch (options.command) {
    case Command::Lines:
        matched = runLines(logs, filter, printer, out);
        break;
    case Command::Tree:
        matched = runTree(logs, filter, out);
        break;
    case Command::Summary:
        matched = runSummary(logs, filter, out);
        break;
    case Command::Perfetto: {
        errno = 0;
        UniqueCFile file = openFile(options.outputPath, true);
        if (!file) {
            errors.write("vrclog: cannot write '" + options.outputPath +
                         "': " + std::strerror(errno != 0 ? errno : EACCES) + "\n");
            return kExitCannotRead;
        }
        FileSink json(std::move(file));
        matched = runPerfetto(logs, filter, *codePage, json);
        if (!json.flush()) {
            errors.write("vrclog: cannot write '" + options.outputPath + "'\n");
            written = false;
        }
        break;
    }
    case Command::Help:
        break;
    }
    if (logs.failed(error)) {
        errors.write("vrclog: " + error + "\n");
        return kExitCannotRead;
    }
    if (!out.flush() || !written)
        return kExitCannotRead;
    if (const uint64_t unparsed = logs.unparsedLines(); unparsed > 0)
        errors.write("vrclog: " + std::to_string(unparsed) +
                     " line(s) could not be read as trace lines; kept with the line before them\n");
    for (const std::string& path : logs.logsEndingInHalfALine())
        errors.write("vrclog: '" + path + "' ends in a line still being written; it is left out\n");
    if (const uint64_t skipped = logs.skippedLines(); skipped > 0)
        errors.write("vrclog: " + std::to_string(skipped) + " line(s) of over-long records skipped\n");
    return matched ? kExitDone : kExitNothingMatched;
}

}  // namespace vr::vrclog
