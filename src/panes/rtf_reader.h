#pragma once

#include <cstddef>
#include <string_view>

#include "platform/rich_document.h"

namespace corvane {

// True when the bytes are a rich-text file: "{\rtf" at the start, after an optional UTF-8 byte-order
// mark and white space, which some tools put in front.
bool looksLikeRtf(std::string_view bytes);

// Reads the text and the formatting the panes can show (font, size, bold, italic, underline,
// strike, colour, paragraph alignment) from an RTF file. Everything else is skipped. Never fails:
// a damaged or cut-off file gives whatever could be read before and around the damage.
//
// Bounded by its input, whatever the file: time in proportion to its length, and memory too.
// The document, counted with the spare capacity of its containers, takes at most
// kRtfDocumentBytesPerInputByte bytes per byte of input plus kRtfDocumentFixedBytes; everything
// the reader has allocated at any one time while reading, the document included, at most
// kRtfReadingBytesPerInputByte per byte plus kRtfReadingFixedBytes. The worst cases are files of
// nothing but paragraph breaks ("\" and a line end: 64 bytes of paragraph for 2 bytes of file)
// and of nothing but '{' (the reader's group stack, capped at 1000 groups); ordinary documents
// take about a byte per byte or less (the benchmark's generated RTF 1.35, the LibreOffice
// documents of the tests 0.2 to 0.4). The fuzz target checks both bounds.
inline constexpr std::size_t kRtfDocumentBytesPerInputByte = 64;
inline constexpr std::size_t kRtfDocumentFixedBytes = 1024;
inline constexpr std::size_t kRtfReadingBytesPerInputByte = 128;
inline constexpr std::size_t kRtfReadingFixedBytes = 128 * 1024;

RichDocument readRtf(std::string_view bytes);

}  // namespace corvane
