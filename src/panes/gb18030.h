#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// GB18030 through tables made once from the system's converter: iconv itself takes several times
// as long as the rest of opening or saving a large Chinese file.
namespace corvane::gb18030 {

// Line ends other than a lone LF, counted as they are turned into "\n".
struct LineEnds {
    std::size_t crlf = 0;
    std::size_t cr = 0;
};

// Appends the program's text for the bytes, every byte that does not read escaped (utf.h). With
// `ends`, CRLF and CR become "\n" and NUL bytes are escaped too; without, both stay as they are.
// Returns the number of escaped bytes.
std::size_t decode(std::string_view bytes, std::string& out, LineEnds* ends = nullptr);

// Whether the bytes are all GB18030 codes; a lead byte at their end counts as one when `cut` says
// they are only the start of a file.
bool fits(std::string_view bytes, bool cut);

// Appends the GB18030 form of the program's text, escaped bytes as themselves and each "\n" as
// `lineEnd`. At a character that has none, stops and returns it, having appended what came before
// it; otherwise returns 0.
char32_t encode(std::string_view text, std::string& out, std::string_view lineEnd = "\n");

}  // namespace corvane::gb18030
