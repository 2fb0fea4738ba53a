#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvane {

// How the bytes of a plain-text file are read. Pane files carry no encoding mark of their own, so
// the reader guesses in a fixed order: byte-order mark; UTF-16 by its NUL pattern (ASCII written as
// UTF-16 is valid UTF-8 as well, so this test comes first); valid UTF-8; and finally GB18030, the
// superset of the window's own code page 936.
enum class TextEncoding {
    Utf8Bom,
    Utf16LeBom,
    Utf16BeBom,
    Utf16Le,  // no mark; told by the NUL bytes in the high halves
    Utf16Be,
    Utf8,
    Gb18030,
};

TextEncoding detectEncoding(std::string_view bytes);

// The text of a file as UTF-8 with every line end (CRLF, CR, LF) turned into "\n". Never fails:
// invalid or unpaired sequences become U+FFFD, and so does a NUL byte, so binary files show a mark
// where the zero was and the text never carries an embedded terminator.
std::string decodeText(std::string_view bytes);

// Appends one code point (at most U+10FFFF, no surrogate) to out as UTF-8.
void appendCodePoint(std::uint32_t codePoint, std::string& out);

class IconvHandle;

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
    IconvHandle& handleFor(int codePage);

    std::vector<std::pair<int, std::unique_ptr<IconvHandle>>> handles_;
};

std::string decodeCodePage(int codePage, std::string_view bytes);

}  // namespace corvane
