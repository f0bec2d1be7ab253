// Reads the input as a log in a code page the build knows (taken from the
// first byte, with the zone of its times) and writes it as vrclog lines
// --json does: every line of the output must be well-formed UTF-8 and one
// valid JSON object, however the log's bytes are broken.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "command_lines.h"

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

// A strict JSON reader that only says whether its text is one value.
class JsonChecker {
public:
    explicit JsonChecker(std::string_view text) : text_(text) {}
    bool wholeValue() { return value(0) && at_ == text_.size(); }

private:
    bool more() const { return at_ < text_.size(); }
    char peek() const { return more() ? text_[at_] : '\0'; }
    bool take(char c)
    {
        if (peek() != c)
            return false;
        ++at_;
        return true;
    }
    bool digits()
    {
        const std::size_t from = at_;
        while (peek() >= '0' && peek() <= '9')
            ++at_;
        return at_ > from;
    }
    bool number()
    {
        take('-');
        if (!take('0') && !digits())
            return false;
        if (take('.') && !digits())
            return false;
        if (take('e') || take('E')) {
            if (!take('+'))
                take('-');
            return digits();
        }
        return true;
    }
    bool hex4(unsigned& code)
    {
        code = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = peek();
            const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
            if (digit < 0 && !(c >= 'A' && c <= 'F'))
                return false;
            code = code * 16 + static_cast<unsigned>(digit >= 0 ? digit : c - 'A' + 10);
            ++at_;
        }
        return true;
    }
    bool string()
    {
        if (!take('"'))
            return false;
        while (more() && peek() != '"') {
            const auto c = static_cast<unsigned char>(peek());
            if (c < 0x20)
                return false;
            if (c != '\\') {
                const std::size_t length = vr::vrclog::utf8SequenceLength(text_, at_);
                if (length == 0)
                    return false;
                at_ += length;
                continue;
            }
            ++at_;
            const char e = peek();
            ++at_;
            if (e == 'u') {
                unsigned code = 0;
                if (!hex4(code) || (code >= 0xDC00 && code <= 0xDFFF))
                    return false;
                if (code >= 0xD800 && code <= 0xDBFF &&
                    (!take('\\') || !take('u') || !hex4(code) || code < 0xDC00 || code > 0xDFFF))
                    return false;
            } else if (std::string_view("\"\\/bfnrt").find(e) == std::string_view::npos || e == '\0') {
                return false;
            }
        }
        return take('"');
    }
    template <typename Item>
    bool items(char close, Item item, int depth)
    {
        if (take(close))
            return true;
        do {
            if (!item(depth + 1))
                return false;
        } while (take(','));
        return take(close);
    }
    bool value(int depth)
    {
        if (depth > 16)
            return false;
        if (take('{'))
            return items(
                '}', [&](int d) { return string() && take(':') && value(d); }, depth);
        if (take('['))
            return items(
                ']', [&](int d) { return value(d); }, depth);
        if (peek() == '"')
            return string();
        for (std::string_view word : {"null", "true", "false"}) {
            if (text_.substr(at_, word.size()) == word) {
                at_ += word.size();
                return true;
            }
        }
        return number();
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace vr::vrclog;
    if (size == 0)
        return 0;
    constexpr uint32_t kCodePages[] = {1252, 1251, kUtf8CodePage};
    std::string error;
    const std::unique_ptr<CodePage> codePage = openCodePage(kCodePages[data[0] % 3], error);
    check(codePage != nullptr);
    Options options;
    options.json = true;
    options.logs = {"VRCDBG62.LOG"};
    // Half the inputs with a given offset, half in this machine's zone.
    if ((data[0] & 0x80) != 0)
        options.utcOffsetMinutes = (data[0] % 57 - 28) * 30;
    const std::string_view log(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::vector<std::unique_ptr<LogReader>> readers;
    readers.push_back(std::make_unique<LogReader>(std::make_unique<MemorySource>(log), 0, ReaderLimits{64, 4096}));
    LogMerge merge;
    merge.adopt(std::move(readers));
    RecordPrinter printer(options, *codePage);
    StringSink out;
    runLines(merge, LogFilter{}, printer, out);
    const std::string_view json = out.text();
    for (std::size_t at = 0; at < json.size();) {
        const std::size_t end = json.find('\n', at);
        check(end != std::string_view::npos);
        const std::string_view line = json.substr(at, end - at);
        check(line.starts_with("{\"time\":"));
        check(JsonChecker(line).wholeValue());
        at = end + 1;
    }
    return 0;
}
