#include "panes/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

#include <zlib.h>

#include "platform/platform_error.h"

namespace corvane {

namespace {

std::string quoted(const std::string& path) { return "“" + path + "”"; }

[[noreturn]] void fail(const std::string& operation, int error) {
    throw PlatformError(operation, std::strerror(error));
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

std::string randomSuffix() {
    static std::mt19937_64 generator{std::random_device{}()};
    static const char kDigits[] = "0123456789abcdef";
    std::string suffix(12, '0');
    for (char& ch : suffix) ch = kDigits[generator() % 16];
    return suffix;
}

}  // namespace

void writeAll(int fd, std::string_view data, const std::string& operation) {
    while (!data.empty()) {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            fail(operation, errno);
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
}

namespace {

std::int64_t modifiedNsOf(const struct stat& info) {
    return static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
}

}  // namespace

std::uint32_t crc32Of(std::string_view bytes, std::uint32_t crc) {
    uLong value = crc;
    while (!bytes.empty()) {
        const auto piece = static_cast<uInt>(std::min<std::size_t>(bytes.size(), 1u << 30));
        value = ::crc32(value, reinterpret_cast<const Bytef*>(bytes.data()), piece);
        bytes.remove_prefix(piece);
    }
    return static_cast<std::uint32_t>(value);
}

FileState fileStateAgainst(const std::string& path, const FileStamp& stamp) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return errno == ENOENT ? FileState::Missing : FileState::Changed;
    if (!stamp.known) return FileState::Unchanged;
    if (static_cast<std::uint64_t>(info.st_size) != stamp.size) return FileState::Changed;
    if (modifiedNsOf(info) == stamp.modifiedNs) return FileState::Unchanged;
    try {
        FileStamp now;
        readFileBytes(path, stamp.size + 1, &now);
        return now.crc == stamp.crc && now.size == stamp.size ? FileState::Unchanged : FileState::Changed;
    } catch (const PlatformError&) {
        return FileState::Changed;
    }
}

std::string readFileBytes(const std::string& path, std::uintmax_t maxBytes, FileStamp* stamp) {
    const std::string operation = "打开文件" + quoted(path);
    if (path.empty()) throw PlatformError(operation, "没有给出文件名");
    // O_NONBLOCK keeps a FIFO from hanging the window; it is refused below as not a regular file.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) fail(operation, errno);
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) fail(operation, errno);
    if (S_ISDIR(info.st_mode)) throw PlatformError(operation, "这是一个文件夹，不是文件");
    if (!S_ISREG(info.st_mode)) throw PlatformError(operation, "这不是一个普通文件");
    const auto size = static_cast<std::uintmax_t>(info.st_size);
    if (size > maxBytes) {
        throw PlatformError(operation, "文件有 " + std::to_string(size / (1024 * 1024)) + " MiB，超过了 " +
                                           std::to_string(maxBytes / (1024 * 1024)) + " MiB 的上限");
    }
    std::string bytes;
    // A byte more than the file holds: the read that finds the end then needs no larger buffer,
    // which would hold a second copy of a long file for a moment.
    bytes.resize(static_cast<std::size_t>(std::min<std::uintmax_t>(size + 1, maxBytes)));
    std::size_t filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            // The file may have grown since fstat; read on until the end, within the limit.
            if (bytes.size() >= maxBytes) break;
            bytes.resize(std::min<std::uintmax_t>(maxBytes, bytes.size() + 65536));
        }
        const ssize_t got = ::read(fd.get(), bytes.data() + filled, bytes.size() - filled);
        if (got < 0) {
            if (errno == EINTR) continue;
            fail(operation, errno);
        }
        if (got == 0) break;
        filled += static_cast<std::size_t>(got);
    }
    bytes.resize(filled);
    if (stamp != nullptr) {
        *stamp = FileStamp{true, filled, modifiedNsOf(info), crc32Of(bytes)};
    }
    return bytes;
}

void writeFileAtomic(const std::string& path, std::string_view data) {
    writeFileAtomicFrom(path, [data](const ByteSink& sink) { sink(data); });
}

void writeFileAtomicFrom(const std::string& path, const std::function<void(const ByteSink&)>& produce,
                         FileStamp* stamp) {
    namespace fs = std::filesystem;
    const std::string operation = "保存文件" + quoted(path);
    if (path.empty()) throw PlatformError(operation, "没有给出文件名");

    fs::path target(path);
    std::error_code ec;
    // Read the link itself rather than canonicalise: a link whose file does not exist yet must
    // still lead there, not be replaced by a plain file. The depth bound stops a link loop.
    for (int depth = 0; depth < 40 && fs::is_symlink(target, ec); ++depth) {
        const fs::path next = fs::read_symlink(target, ec);
        if (ec) break;
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode)) throw PlatformError(operation, "这是一个文件夹，不是文件");
    // Replacing the file through its folder would get round a file the user made read-only.
    if (exists && ::access(target.c_str(), W_OK) != 0) fail(operation, errno);

    fs::path folder = target.parent_path();
    if (folder.empty()) folder = ".";
    fs::path temporary;
    int rawFd = -1;
    // The temporary's name is the target's plus 22 bytes; a long target name is cut, at a character
    // boundary, so that a name near the 255-byte limit can still be saved.
    std::string stem = target.filename().string();
    constexpr std::size_t kMaxStem = 255 - 22;
    if (stem.size() > kMaxStem) {
        std::size_t cut = kMaxStem;
        while (cut > 0 && (static_cast<unsigned char>(stem[cut]) & 0xC0) == 0x80) --cut;
        stem.resize(cut);
    }
    for (int attempt = 0; attempt < 16 && rawFd < 0; ++attempt) {
        temporary = folder / ("." + stem + ".corvane-" + randomSuffix());
        rawFd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (rawFd < 0 && errno != EEXIST) fail(operation, errno);
    }
    if (rawFd < 0) fail(operation, EEXIST);
    FileDescriptor fd(rawFd);
    try {
        // The replacement keeps the permissions of the file it replaces.
        if (exists) (void)::fchmod(fd.get(), existing.st_mode & 07777);
        // The disk starts on what has been written while the rest is still being made, so that the
        // flush at the end waits for little more than the last stretch.
        constexpr off_t kStretch = 4 * 1024 * 1024;
        off_t written = 0, started = 0;
        std::uint32_t crc = 0;
        produce([&](std::string_view piece) {
            writeAll(fd.get(), piece, operation);
            if (stamp != nullptr) crc = crc32Of(piece, crc);
            written += static_cast<off_t>(piece.size());
#if defined(SYNC_FILE_RANGE_WRITE)
            if (written - started >= kStretch) {
                (void)::sync_file_range(fd.get(), started, written - started, SYNC_FILE_RANGE_WRITE);
                started = written;
            }
#endif
        });
        if (::fdatasync(fd.get()) != 0) fail(operation, errno);
        struct stat writtenInfo {};
        if (stamp != nullptr && ::fstat(fd.get(), &writtenInfo) == 0) {
            *stamp = FileStamp{true, static_cast<std::uint64_t>(writtenInfo.st_size),
                               modifiedNsOf(writtenInfo), crc};
        }
        if (::close(fd.release()) != 0) fail(operation, errno);
        if (::rename(temporary.c_str(), target.c_str()) != 0) fail(operation, errno);
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
}

}  // namespace corvane
