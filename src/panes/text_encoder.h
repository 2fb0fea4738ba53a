#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "panes/encodings.h"

namespace corvane {

class IconvConverter;

// A character the encoding being written cannot hold.
class UnencodableCharacter : public std::runtime_error {
public:
    UnencodableCharacter(char32_t character, std::string encoding);
    char32_t character() const { return character_; }
    const std::string& encoding() const { return encoding_; }

private:
    char32_t character_;
    std::string encoding_;
};

// Writes the program's text (UTF-8, "\n" line ends, escaped bytes) in a file's format: its
// encoding, its byte-order mark and its line ends, each escaped byte as the byte it stands for.
// The text may come in pieces cut anywhere. Throws UnencodableCharacter at a character the
// encoding cannot hold; what was handed to the sink before it stays handed.
class TextEncoder {
public:
    TextEncoder(const TextFormat& format, std::function<void(std::string_view)> sink);
    ~TextEncoder();
    TextEncoder(const TextEncoder&) = delete;
    TextEncoder& operator=(const TextEncoder&) = delete;

    void write(std::string_view text);
    void finish();

private:
    enum class Kind { Utf8, Utf16Le, Utf16Be, Gb18030, Iconv };
    void writeWhole(std::string_view text);

    TextFormat format_;
    std::function<void(std::string_view)> sink_;
    Kind kind_;
    std::unique_ptr<IconvConverter> converter_;
    std::string lineEnd_;  // the line end as UTF-8
    std::string carry_;    // the start of a sequence cut by the end of a piece
    std::string out_;
    std::string run_;
    bool started_ = false;
};

// The whole text in the format, at once.
std::string encodeText(std::string_view text, const TextFormat& format);

}  // namespace corvane
