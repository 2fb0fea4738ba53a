#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace corvane {

// What a file was when the program last read or wrote it: its size, time of change and a checksum
// (CRC-32) of its bytes. Another program's change shows in one of them.
struct FileStamp {
    bool known = false;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::uint32_t crc = 0;

    bool operator==(const FileStamp&) const = default;
};

// CRC-32 (the one of zip and PNG) of `bytes`, continuing from `crc`.
std::uint32_t crc32Of(std::string_view bytes, std::uint32_t crc = 0);

// Whether the file at `path` still holds what `stamp` recorded. A file whose size and time are as
// recorded is taken as unchanged; one whose time changed is read and its checksum compared, so a
// file touched but not changed counts as unchanged. A missing file is no change of anybody's work.
enum class FileState { Unchanged, Changed, Missing };
FileState fileStateAgainst(const std::string& path, const FileStamp& stamp);

// Reads a whole regular file. A missing, unreadable or non-regular file, a folder, or one larger
// than maxBytes is refused with a PlatformError that says which and why.
// With `stamp`, what the file was as it was read goes there.
std::string readFileBytes(const std::string& path, std::uintmax_t maxBytes, FileStamp* stamp = nullptr);

// Replaces the file at path with data, or leaves it exactly as it was: the bytes go to a temporary
// file beside it, which is flushed to disk and then renamed over the target. A link is followed,
// so the file it points to is the one replaced. Throws PlatformError naming the file and the reason.
void writeFileAtomic(const std::string& path, std::string_view data);

// Writes all of `data` to an open file, or throws PlatformError naming `operation` and the reason.
void writeAll(int fd, std::string_view data, const std::string& operation);

// Receives the bytes of a file a piece at a time.
using ByteSink = std::function<void(std::string_view)>;

// As writeFileAtomic, with the bytes made while they are written: `produce` hands them to the sink
// it is given, in as many pieces as it likes. If it throws, the file is left as it was.
// With `stamp`, what the file is once written goes there.
void writeFileAtomicFrom(const std::string& path, const std::function<void(const ByteSink&)>& produce,
                         FileStamp* stamp = nullptr);

}  // namespace corvane
