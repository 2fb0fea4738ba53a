#pragma once

#include <cstdint>
#include <functional>
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

// Receives the bytes of a file a piece at a time.
using ByteSink = std::function<void(std::string_view)>;

// As writeFileAtomic, with the bytes made while they are written: `produce` hands them to the sink
// it is given, in as many pieces as it likes. If it throws, the file is left as it was.
void writeFileAtomicFrom(const std::string& path, const std::function<void(const ByteSink&)>& produce);

}  // namespace corvane
