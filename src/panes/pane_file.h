#pragma once

#include <cstdint>
#include <string>

#include "panes/encodings.h"
#include "panes/file_io.h"
#include "platform/rich_edit.h"

namespace corvane {

inline constexpr std::uintmax_t kMaxPaneFileBytes = 256ull * 1024 * 1024;

// What a load found: how the file stored its text, and how many of its bytes could not be read
// (they are in the pane as escaped bytes and are written back as they were).
struct LoadedFile {
    TextFormat format;
    std::size_t unreadableBytes = 0;
    FileStamp stamp;  // the file as it was read
};

// Loads a file into a pane: a rich-text file with its formatting, anything else as its plain
// text, read as a browser would read it (text_decoder.h). Throws PlatformError, leaving the pane
// as it was. A rich-text file's characters are written as new text is.
LoadedFile LoadFile(RichEdit& pane, const std::string& path);

// Writes the pane's characters, without formatting, in `format`. Throws UnencodableCharacter
// (text_encoder.h) when the encoding cannot hold one of them, and PlatformError when the file cannot
// be written; either way the file is left as it was. Returns what the file is once written.
FileStamp SaveFile(RichEdit& pane, const std::string& path, const TextFormat& format = TextFormat{});

}  // namespace corvane
