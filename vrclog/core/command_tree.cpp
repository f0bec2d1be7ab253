// vrclog tree: for each thread, its function entries indented by level, a
// folded entry with its calls, and the TRC lines under the function they were
// traced in. Output goes out a block at a time: a thread's block ends when its
// next outermost entry starts (or it grows large), so memory stays with the
// blocks in progress rather than the whole log.
#include <string>
#include <vector>

#include "command_tree.h"
#include "matching_records.h"
#include "thread_index.h"

namespace vr::vrclog {

namespace {

constexpr std::size_t kMaxBlockBytes = 256 * 1024;
constexpr std::size_t kIndentPerLevel = 2;
constexpr int32_t kMaxIndentLevel = 100;

class TreeWriter {
public:
    explicit TreeWriter(TextSink& out) : out_(out) {}

    void add(const LogRecord& record)
    {
        const LineHeader& header = record.header;
        const std::size_t thread = threads_.indexOf(header);
        if (thread >= blocks_.size())
            blocks_.resize(thread + 1);
        std::string& block = blocks_[thread];
        if (header.lineClass == LineClass::Entry && header.level == 1)
            flush(thread);
        block += header.time;
        block += "  ";
        if (header.lineClass == LineClass::Entry) {
            indent(block, header.level - 1);
            block += header.text;
            if (header.count > 1)
                block += "  (" + std::to_string(header.count) + " calls)";
        } else {
            // A TRC line sits one step inside the function it was traced in.
            indent(block, header.level);
            block += "| ";
            const std::string_view text = record.fullText();
            const std::size_t lineEnd = text.find_first_of("\r\n");
            block += text.substr(0, lineEnd);
            if (lineEnd != std::string_view::npos)
                block += " ...";
            if (header.count > 1)
                block += "  (x" + std::to_string(header.count) + ")";
        }
        block += '\n';
        if (block.size() > kMaxBlockBytes)
            flush(thread);
    }

    void finish()
    {
        for (std::size_t thread = 0; thread < blocks_.size(); ++thread)
            flush(thread);
    }

private:
    static void indent(std::string& block, int32_t levels)
    {
        if (levels > kMaxIndentLevel)
            levels = kMaxIndentLevel;
        if (levels > 0)
            block.append(static_cast<std::size_t>(levels) * kIndentPerLevel, ' ');
    }

    void flush(std::size_t thread)
    {
        std::string& block = blocks_[thread];
        if (block.empty())
            return;
        if (thread != lastShown_) {
            out_.write(lastShown_ == kNone ? "== " : "\n== ");
            out_.write(threadLabel(threads_.identity(thread)));
            out_.write("\n");
            lastShown_ = thread;
        }
        out_.write(block);
        block.clear();
    }

    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    TextSink& out_;
    ThreadIndex threads_;
    std::vector<std::string> blocks_;
    std::size_t lastShown_ = kNone;
};

}  // namespace

bool runTree(LogMerge& logs, const LogFilter& filter, TextSink& out)
{
    TreeWriter tree(out);
    const bool matched = forEachMatchingRecord(
        logs, filter,
        [](const LogRecord& record) noexcept {
            const LineClass lineClass = record.header.lineClass;
            return record.hasHeader && (lineClass == LineClass::Entry || lineClass == LineClass::Trc);
        },
        [&](const LogRecord& record) { tree.add(record); });
    tree.finish();
    return matched;
}

}  // namespace vr::vrclog
