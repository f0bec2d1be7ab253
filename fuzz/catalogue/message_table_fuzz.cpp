// Feeds arbitrary bytes to the message-table reader as a resource, then uses
// whatever it accepts the way vrcmsg does: lookups, texts, inserts, listings.
#include <cstddef>
#include <cstdint>
#include <span>

#include "message_tool.h"

using namespace vr::catalogue;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto table = MessageTable::parse(std::span<const uint8_t>(data, size));
    if (!table)
        return 0;
    size_t shown = 0;
    for (const MessageEntry& entry : table->entries()) {
        if (table->find(entry.id) != &entry)
            __builtin_trap();
        const std::u16string text = table->text(entry);
        const InsertPlan plan = planInserts(text);
        (void)bindInserts(plan, {});
        (void)textCode(text);
        // Listing every entry of a large input would only slow the search down.
        if (shown++ < 64)
            (void)listingLine(*table, entry);
    }
    (void)findByTextCode(*table, u"VRC4501");
    (void)search(*table, u"%0");
    if (!table->blocks().empty())
        (void)table->find(table->blocks().front().highId + 1);
    return 0;
}
