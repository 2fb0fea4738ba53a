#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

// Reads a whole regular file. A missing, unreadable or non-regular file, a folder, or one larger
// than maxBytes is refused with a PlatformError that says which and why.
std::string readFileBytes(const std::string& path, std::uintmax_t maxBytes);

// Replaces the file at path with data, or leaves it exactly as it was: the bytes go to a temporary
// file beside it, which is flushed to disk and then renamed over the target. A link is followed,
// so the file it points to is the one replaced. Throws PlatformError naming the file and the reason.
void writeFileAtomic(const std::string& path, std::string_view data);

}  // namespace corvane
