#pragma once

#include <cstddef>
#include <string>

namespace corvane::bench {

// HTML-like source text of about `bytes` bytes of UTF-8: nested tags, attributes, scripts and
// styles, with Chinese text in most lines and now and then one very long line. The same seed
// always gives the same text.
std::string generateHtml(std::size_t bytes, unsigned seed = 1);

// A simple rich-text (RTF) file of about `bytes` bytes: a font and colour table, paragraphs with
// left, centre and right alignment, bold, italic and coloured runs, Chinese text as \u escapes.
std::string generateRtf(std::size_t bytes, unsigned seed = 2);

}  // namespace corvane::bench
