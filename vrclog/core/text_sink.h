// Where a command writes: a file (the console, or perfetto's output file) or
// memory in tests. Writes are gathered into large blocks. No platform calls.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "platform/c_file.h"

namespace vr::vrclog {

class TextSink {
public:
    virtual ~TextSink() = default;
    virtual void write(std::string_view text) = 0;
    virtual bool flush() noexcept { return true; }  // false when the bytes could not be written
};

class FileSink final : public TextSink {
public:
    // Output is gathered into blocks of this size before it is written.
    static constexpr std::size_t kBlockBytes = std::size_t{1} << 20;

    // The console's streams stay open; an output file is closed with the sink.
    explicit FileSink(std::FILE* console) noexcept : file_(console) {}
    explicit FileSink(UniqueCFile file) noexcept : owned_(std::move(file)), file_(owned_.get()) {}
    ~FileSink() override;
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;
    void write(std::string_view text) override;
    bool flush() noexcept override;

private:
    UniqueCFile owned_;
    std::FILE* file_;
    bool failed_ = false;
    std::string pending_;
};

class StringSink final : public TextSink {
public:
    void write(std::string_view text) override { text_ += text; }
    const std::string& text() const noexcept { return text_; }

private:
    std::string text_;
};

}  // namespace vr::vrclog
