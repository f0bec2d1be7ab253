// The decisions of vrcmsg, the message tool, apart from the platform: what the
// command line asks for, which message a text code names, whether the inserts
// given fit the message, and how a message is shown in a listing.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "message_table.h"
#include "message_text.h"

namespace vr::catalogue {

// The tool's exit codes.
enum ExitCode : int {
    kExitOk = 0,
    kExitNotFound = 1,  // unknown identifier or text code, or a search without a match
    kExitBadRequest = 2,  // bad command line, or inserts that do not fit the message
    kExitEnvironment = 3,  // the library cannot be loaded or read, or formatting failed
};

enum class Command { Usage, Help, Format, List, Search };

struct Request {
    Command command = Command::Usage;
    std::optional<uint32_t> id;  // Format by identifier
    std::u16string textCode;  // Format by text code, in capitals
    std::vector<std::u16string> inserts;  // Format: %1, %2, ... in order
    std::u16string searchText;  // Search
};

struct ParsedCommandLine {
    Request request;
    std::u16string error;  // empty when the command line is good
};

// Arguments without the program name.
ParsedCommandLine parseCommandLine(std::span<const std::u16string> arguments);

std::u16string usageText();

// The message whose text begins with the code ("VRC4501" matches "VRC4501: ...").
const MessageEntry* findByTextCode(const MessageTable& table, std::u16string_view code);

struct InsertValue {
    InsertKind kind = InsertKind::Text;
    std::u16string text;  // for Text
    uint32_t number = 0;  // for Integer: the 32-bit pattern the formatter reads
};

struct BoundInserts {
    std::vector<InsertValue> values;  // one per slot of the plan
    std::u16string error;  // empty when every slot has a fitting value
};

// Pairs the values given with the message's slots. The formatter reads exactly
// one value per slot and trusts its kind, so a missing value, a spare one, a
// non-number for an integer insert or a conversion we cannot supply is refused
// here rather than handed on.
BoundInserts bindInserts(const InsertPlan& plan, std::span<const std::u16string> given);

// Decimal in the signed 32-bit range, or hexadecimal "0x..." up to 32 bits.
std::optional<uint32_t> parseInteger(std::u16string_view text);

// One line: identifier, severity, facility, and the produced text with its
// control characters written as \r, \n and \t.
std::u16string listingLine(const MessageTable& table, const MessageEntry& entry);

// Messages whose produced text holds the needle, ignoring ASCII case.
std::vector<const MessageEntry*> search(const MessageTable& table, std::u16string_view needle);

std::u16string widen(std::string_view ascii);
std::u16string hexIdentifier(uint32_t id);

}  // namespace vr::catalogue
