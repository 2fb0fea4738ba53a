#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "panes/encodings.h"
#include "panes/utf.h"

namespace corvane {

// A plain-text file as the program holds it: its characters as UTF-8 with every line end turned
// into "\n", and how the file stored them. A byte that its encoding cannot read, a NUL byte among
// them, is carried as an escaped byte (utf.h), counted in unreadableBytes, and written back as it
// was.
struct DecodedText {
    std::string text;
    TextFormat format;
    std::size_t unreadableBytes = 0;
};

// Reads the bytes in the encoding detectFormat decides; the line-end style is the one most of the
// lines end with. Never fails. An unchanged text written again in `format` gives the same bytes,
// apart from line ends that differ from the file's style.
DecodedText decodeFile(std::string_view bytes, FileKind kind = FileKind::Other);

// Reads the bytes in the given encoding, as decodeFile does once it has decided.
DecodedText decodeAs(std::string_view bytes, const TextFormat& format);

// decodeFile's text alone.
std::string decodeText(std::string_view bytes);

class IconvConverter;

// Converts text in Windows code pages to UTF-8, keeping one converter per code page open across
// calls, since the rich-text reader converts many short pieces.
class CodePageDecoder {
public:
    CodePageDecoder();
    ~CodePageDecoder();
    CodePageDecoder(const CodePageDecoder&) = delete;
    CodePageDecoder& operator=(const CodePageDecoder&) = delete;

    // Appends the UTF-8 form of bytes to out. 936 reads as GB18030, 65001 as UTF-8; a code page
    // the system cannot convert reads as 1252. Invalid bytes become U+FFFD; line ends stay as they are.
    void append(int codePage, std::string_view bytes, std::string& out);

private:
    IconvConverter* handleFor(int codePage);

    std::vector<std::pair<int, std::unique_ptr<IconvConverter>>> handles_;
};

std::string decodeCodePage(int codePage, std::string_view bytes);

}  // namespace corvane
