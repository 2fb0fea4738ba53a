#include "journal/journal_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <utility>

#include "panes/pane_file.h"
#include "panes/rtf_reader.h"
#include "platform/platform_error.h"

namespace corvane::journal {

namespace {

constexpr std::string_view kJournalSuffix = ".journal";
constexpr std::string_view kLockSuffix = ".lock";
constexpr std::string_view kBaseSuffix = ".base";
// Three panes of the largest file, each byte of which may take three in the program's text.
constexpr std::uint64_t kMaxJournalBytes = 3 * 3 * kMaxPaneFileBytes;

[[noreturn]] void fail(const std::string& operation, int error) {
    throw PlatformError(operation, std::strerror(error));
}

std::string randomHex(std::size_t digits) {
    static thread_local std::mt19937_64 generator{std::random_device{}()};
    static const char kDigits[] = "0123456789abcdef";
    std::string out(digits, '0');
    for (char& ch : out) ch = kDigits[generator() % 16];
    return out;
}

std::int64_t modifiedNsOf(const struct stat& info) {
    return static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
}

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// Opens (makes, when missing) a lock file of the folder, never through a link, and locks it
// without waiting. -1 when another process holds it or it cannot be had.
int lockFile(int dirFd, const std::string& name) {
    const int fd = ::openat(dirFd, name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

std::string defaultFolder() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/') return std::string(state) + "/corvane";
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.local/state/corvane";
}

LeftJournal::LeftJournal(std::string token, std::int64_t modifiedNs, int lockFd)
    : token_(std::move(token)), modifiedNs_(modifiedNs), lockFd_(lockFd) {}
LeftJournal::LeftJournal(LeftJournal&& other) noexcept
    : token_(std::move(other.token_)),
      modifiedNs_(other.modifiedNs_),
      lockFd_(std::exchange(other.lockFd_, -1)) {}
LeftJournal& LeftJournal::operator=(LeftJournal&& other) noexcept {
    if (this != &other) {
        closeFd(lockFd_);
        token_ = std::move(other.token_);
        modifiedNs_ = other.modifiedNs_;
        lockFd_ = std::exchange(other.lockFd_, -1);
    }
    return *this;
}
LeftJournal::~LeftJournal() { closeFd(lockFd_); }

JournalFolder::JournalFolder(std::string path)
    : path_(std::move(path)), token_(std::to_string(::getpid()) + "-" + randomHex(8)) {}

JournalFolder::~JournalFolder() {
    // A journal still here is work to bring back; without one the lock file goes too.
    if (dirFd_ >= 0 && lockFd_ >= 0) {
        struct stat info {};
        if (::fstatat(dirFd_, (token_ + std::string(kJournalSuffix)).c_str(), &info, AT_SYMLINK_NOFOLLOW) !=
            0)
            ::unlinkat(dirFd_, (token_ + std::string(kLockSuffix)).c_str(), 0);
    }
    closeFd(lockFd_);
    if (dirFd_ >= 0) ::close(dirFd_.exchange(-1));
}

void JournalFolder::open() {
    std::lock_guard lock(opening_);
    if (dirFd_ >= 0) return;
    const std::string operation = "打开恢复文件夹“" + path_ + "”";
    if (path_.empty() || path_[0] != '/') throw PlatformError(operation, "不是完整的路径");
    std::error_code ec;
    const std::filesystem::path folder(path_);
    std::filesystem::create_directories(folder.parent_path(), ec);
    if (::mkdir(path_.c_str(), 0700) != 0 && errno != EEXIST) fail(operation, errno);
    const int fd = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) fail(operation, errno == ELOOP ? ENOTDIR : errno);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISDIR(info.st_mode)) {
        ::close(fd);
        throw PlatformError(operation, "不是文件夹");
    }
    if (info.st_uid != ::geteuid()) {
        ::close(fd);
        throw PlatformError(operation, "这个文件夹属于另一个用户");
    }
    if ((info.st_mode & 07777) != 0700) (void)::fchmod(fd, 0700);
    dirFd_ = fd;
}

void JournalFolder::takeOwnLock() {
    if (lockFd_ >= 0) return;
    const std::string name = token_ + std::string(kLockSuffix);
    lockFd_ = lockFile(dirFd_, name);
    if (lockFd_ < 0) fail("锁定恢复文件“" + path_ + "/" + name + "”", errno != 0 ? errno : EWOULDBLOCK);
}

void JournalFolder::write(const std::function<void(const ByteSink&)>& produce) {
    open();
    takeOwnLock();
    writeWhole(token_ + std::string(kJournalSuffix), [&](int fd, const std::string& operation) {
        produce([&](std::string_view piece) { writeAll(fd, piece, operation); });
        return true;
    });
    (void)::fsync(dirFd_);
}

std::string JournalFolder::baseName(std::uint64_t serial) const {
    return token_ + "." + std::to_string(serial) + std::string(kBaseSuffix);
}

void JournalFolder::writeBase(const std::string& name, const std::function<void(const ByteSink&)>& produce) {
    open();
    takeOwnLock();
    writeWhole(name, [&](int fd, const std::string& operation) {
        produce([&](std::string_view piece) { writeAll(fd, piece, operation); });
        return true;
    });
}

void JournalFolder::removeBase(const std::string& name) {
    if (dirFd_ >= 0) ::unlinkat(dirFd_, name.c_str(), 0);
}

bool JournalFolder::copyBase(const std::string& name, const std::string& source, const FileStamp& stamp) {
    open();
    takeOwnLock();
    const int in = ::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (in < 0) return false;
    const auto unchanged = [&] {
        struct stat info {};
        return ::fstat(in, &info) == 0 && S_ISREG(info.st_mode) &&
               static_cast<std::uint64_t>(info.st_size) == stamp.size && modifiedNsOf(info) == stamp.modifiedNs;
    };
    const auto copy = [&](int out, const std::string& operation) {
        char head[4096];
        const ssize_t got = ::pread(in, head, sizeof head, 0);
        if (!stamp.known || !unchanged() || got < 0 ||
            looksLikeRtf(std::string_view(head, static_cast<std::size_t>(got))))
            return false;
        // Blocks shared where the file system can; else copied by the kernel, never through
        // this process.
        if (::ioctl(out, FICLONE, in) != 0) {
            std::uint64_t done = 0;
            bool byCopyRange = true;
            while (done < stamp.size) {
                ssize_t moved = -1;
                if (byCopyRange) {
                    moved = ::copy_file_range(in, nullptr, out, nullptr, stamp.size - done, 0);
                    if (moved < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
                        byCopyRange = false;
                        continue;
                    }
                } else {
                    moved = ::sendfile(out, in, nullptr, stamp.size - done);
                }
                if (moved < 0 && errno == EINTR) continue;
                if (moved < 0) fail(operation, errno);
                if (moved == 0) return false;  // shorter than it was
                done += static_cast<std::uint64_t>(moved);
            }
        }
        return unchanged();
    };
    bool copied = false;
    try {
        copied = writeWhole(name, copy);
    } catch (...) {
        ::close(in);
        throw;
    }
    ::close(in);
    return copied;
}

bool JournalFolder::writeWhole(const std::string& name,
                              const std::function<bool(int fd, const std::string& operation)>& fill) {
    const std::string operation = "写入恢复文件“" + path_ + "/" + name + "”";
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temporary = "." + name + "." + randomHex(12);
        // O_EXCL with O_NOFOLLOW: a name someone planted, link or file, is never written through.
        fd = ::openat(dirFd_, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST && errno != ELOOP) fail(operation, errno);
    }
    if (fd < 0) fail(operation, EEXIST);
    try {
        if (!fill(fd, operation)) {
            closeFd(fd);
            ::unlinkat(dirFd_, temporary.c_str(), 0);
            return false;
        }
        if (::fsync(fd) != 0) fail(operation, errno);
        const int closing = std::exchange(fd, -1);
        if (::close(closing) != 0) fail(operation, errno);
        // The rename replaces whatever is at the journal's name, a link included, without
        // following it.
        if (::renameat(dirFd_, temporary.c_str(), dirFd_, name.c_str()) != 0) fail(operation, errno);
    } catch (...) {
        closeFd(fd);
        ::unlinkat(dirFd_, temporary.c_str(), 0);
        throw;
    }
    return true;
}

void JournalFolder::remove() {
    if (dirFd_ < 0) return;
    const std::string name = token_ + std::string(kJournalSuffix);
    if (::unlinkat(dirFd_, name.c_str(), 0) != 0 && errno != ENOENT) {
        fail("删除恢复文件“" + path_ + "/" + name + "”", errno);
    }
    (void)::fsync(dirFd_);
}

std::vector<LeftJournal> JournalFolder::leftBehind() {
    open();
    std::vector<LeftJournal> found;
    const int listFd = ::dup(dirFd_);
    if (listFd < 0) fail("读取恢复文件夹“" + path_ + "”", errno);
    DIR* dir = ::fdopendir(listFd);
    if (dir == nullptr) {
        ::close(listFd);
        fail("读取恢复文件夹“" + path_ + "”", errno);
    }
    ::rewinddir(dir);
    std::vector<std::string> tokens;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (name.size() <= kJournalSuffix.size() || !name.ends_with(kJournalSuffix) || name.front() == '.')
            continue;
        std::string token(name.substr(0, name.size() - kJournalSuffix.size()));
        if (token != token_) tokens.push_back(std::move(token));
    }
    ::closedir(dir);
    for (const std::string& token : tokens) {
        struct stat info {};
        if (::fstatat(dirFd_, (token + std::string(kJournalSuffix)).c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0)
            found.emplace_back(token, modifiedNsOf(info), -1);
    }
    std::sort(found.begin(), found.end(),
              [](const LeftJournal& a, const LeftJournal& b) { return a.modifiedNs() > b.modifiedNs(); });
    return found;
}

bool JournalFolder::lock(LeftJournal& left) {
    if (left.locked()) return true;
    const std::string lockName = left.token() + std::string(kLockSuffix);
    const int fd = lockFile(dirFd_, lockName);
    if (fd < 0) return false;
    // Looked at again once locked: an editor that offered it a moment ago has removed it.
    struct stat info {};
    if (::fstatat(dirFd_, left.fileName().c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        ::unlinkat(dirFd_, lockName.c_str(), 0);
        ::close(fd);
        return false;
    }
    left.lockFd_ = fd;
    return true;
}

std::string JournalFolder::read(const LeftJournal& left) {
    return readFile(left.fileName(), "读取恢复文件“" + path_ + "/" + left.fileName() + "”");
}

std::optional<std::string> JournalFolder::readBase(const LeftJournal& left, const std::string& name) {
    if (!name.starts_with(left.token() + ".") || !name.ends_with(kBaseSuffix) ||
        name.find('/') != std::string::npos)
        return std::nullopt;
    try {
        return readFile(name, "读取恢复文件“" + path_ + "/" + name + "”");
    } catch (const PlatformError&) {
        return std::nullopt;
    }
}

std::string JournalFolder::readFile(const std::string& name, const std::string& operation) {
    const int fd = ::openat(dirFd_, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) fail(operation, errno);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::uint64_t>(info.st_size) > kMaxJournalBytes) {
        ::close(fd);
        throw PlatformError(operation, "这不是本程序的恢复文件");
    }
    std::string bytes(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t got = ::read(fd, bytes.data() + filled, bytes.size() - filled);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        filled += static_cast<std::size_t>(got);
    }
    ::close(fd);
    bytes.resize(filled);
    return bytes;
}

std::vector<std::string> JournalFolder::basesOf(const std::string& token) {
    std::vector<std::string> names;
    const int listFd = ::dup(dirFd_);
    if (listFd < 0) return names;
    DIR* dir = ::fdopendir(listFd);
    if (dir == nullptr) {
        ::close(listFd);
        return names;
    }
    ::rewinddir(dir);
    const std::string prefix = token + ".";
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (name.starts_with(prefix) && name.ends_with(kBaseSuffix)) names.emplace_back(name);
    }
    ::closedir(dir);
    return names;
}

void JournalFolder::forget(LeftJournal left) {
    ::unlinkat(dirFd_, left.fileName().c_str(), 0);
    for (const std::string& base : basesOf(left.token())) ::unlinkat(dirFd_, base.c_str(), 0);
    ::unlinkat(dirFd_, (left.token() + std::string(kLockSuffix)).c_str(), 0);
    (void)::fsync(dirFd_);
}

int JournalFolder::discardedFd() {
    if (::mkdirat(dirFd_, "discarded", 0700) != 0 && errno != EEXIST) return -1;
    return ::openat(dirFd_, "discarded", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

void JournalFolder::discard(LeftJournal left) {
    const std::string operation = "移走恢复文件“" + path_ + "/" + left.fileName() + "”";
    const int discarded = discardedFd();
    if (discarded < 0) fail(operation, errno);
    const std::string moved = left.fileName();
    const bool renamed = ::renameat(dirFd_, moved.c_str(), discarded, moved.c_str()) == 0;
    const int error = errno;
    if (renamed) {
        // Seven days from now, not from the last write of the journal; its bases go with it.
        (void)::utimensat(discarded, moved.c_str(), nullptr, AT_SYMLINK_NOFOLLOW);
        for (const std::string& base : basesOf(left.token())) {
            if (::renameat(dirFd_, base.c_str(), discarded, base.c_str()) == 0)
                (void)::utimensat(discarded, base.c_str(), nullptr, AT_SYMLINK_NOFOLLOW);
        }
        ::unlinkat(dirFd_, (left.token() + std::string(kLockSuffix)).c_str(), 0);
        (void)::fsync(dirFd_);
    }
    ::close(discarded);
    if (!renamed) fail(operation, error);
}

void JournalFolder::purgeOrphanBases() {
    open();
    std::vector<std::string> tokens;
    const int listFd = ::dup(dirFd_);
    if (listFd < 0) return;
    DIR* dir = ::fdopendir(listFd);
    if (dir == nullptr) {
        ::close(listFd);
        return;
    }
    ::rewinddir(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        const std::size_t dot = name.find('.');
        if (!name.ends_with(kBaseSuffix) || dot == 0 || dot == std::string_view::npos) continue;
        std::string token(name.substr(0, dot));
        if (token != token_ && std::find(tokens.begin(), tokens.end(), token) == tokens.end())
            tokens.push_back(std::move(token));
    }
    ::closedir(dir);
    for (const std::string& token : tokens) {
        const auto hasJournal = [&] {
            struct stat info {};
            return ::fstatat(dirFd_, (token + std::string(kJournalSuffix)).c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
        };
        if (hasJournal()) continue;
        const std::string lockName = token + std::string(kLockSuffix);
        const int fd = lockFile(dirFd_, lockName);
        if (fd < 0) continue;  // its editor still runs
        if (!hasJournal()) {
            for (const std::string& base : basesOf(token)) ::unlinkat(dirFd_, base.c_str(), 0);
            ::unlinkat(dirFd_, lockName.c_str(), 0);
        }
        ::close(fd);
    }
}

void JournalFolder::purgeDiscarded(std::int64_t nowNs) {
    open();
    const int discarded = ::openat(dirFd_, "discarded", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (discarded < 0) return;
    DIR* dir = ::fdopendir(discarded);
    if (dir == nullptr) {
        ::close(discarded);
        return;
    }
    std::vector<std::string> old;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name(entry->d_name);
        if (name == "." || name == "..") continue;
        struct stat info {};
        if (::fstatat(discarded, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || S_ISDIR(info.st_mode))
            continue;
        if (nowNs - modifiedNsOf(info) > kDiscardedKeptNs) old.push_back(name);
    }
    for (const std::string& name : old) ::unlinkat(::dirfd(dir), name.c_str(), 0);
    ::closedir(dir);
}

}  // namespace corvane::journal
