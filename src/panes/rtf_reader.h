#pragma once

#include <string_view>

#include "platform/rich_document.h"

namespace corvane {

// True when the bytes are a rich-text file: "{\rtf" at the start, after an optional UTF-8 byte-order
// mark and white space, which some tools put in front.
bool looksLikeRtf(std::string_view bytes);

// Reads the text and the formatting the panes can show (font, size, bold, italic, underline,
// strike, colour, paragraph alignment) from an RTF file. Everything else is skipped. Never fails:
// a damaged or cut-off file gives whatever could be read before and around the damage.
RichDocument readRtf(std::string_view bytes);

}  // namespace corvane
