#pragma once

#include <cstdint>
#include <string>

#include "platform/rich_edit.h"

namespace corvane {

inline constexpr std::uintmax_t kMaxPaneFileBytes = 256ull * 1024 * 1024;

// Loads a file into a pane: a rich-text file with its formatting, anything else as its plain
// text, whatever its encoding. Throws PlatformError, leaving the pane as it was.
void LoadFile(RichEdit& pane, const std::string& path);

// Writes the pane's characters, without formatting, as UTF-8 with "\n" line ends.
void SaveFile(RichEdit& pane, const std::string& path);

}  // namespace corvane
