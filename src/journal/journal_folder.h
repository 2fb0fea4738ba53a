#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "panes/file_io.h"

namespace corvane::journal {

// ${XDG_STATE_HOME:-~/.local/state}/corvane: the folder of the journals, private to the user.
std::string defaultFolder();

// How long a journal the person chose not to bring back is kept in discarded/.
inline constexpr std::int64_t kDiscardedKeptNs = 7LL * 24 * 3600 * 1000000000;

// A journal some editor left in the folder. Once this editor has locked it, its editor no longer
// runs and no other editor offers it at the same time.
class LeftJournal {
public:
    LeftJournal(std::string token, std::int64_t modifiedNs, int lockFd);
    LeftJournal(LeftJournal&& other) noexcept;
    LeftJournal& operator=(LeftJournal&& other) noexcept;
    LeftJournal(const LeftJournal&) = delete;
    LeftJournal& operator=(const LeftJournal&) = delete;
    ~LeftJournal();

    const std::string& token() const { return token_; }
    std::string fileName() const { return token_ + ".journal"; }
    std::int64_t modifiedNs() const { return modifiedNs_; }
    bool locked() const { return lockFd_ >= 0; }

private:
    friend class JournalFolder;
    std::string token_;
    std::int64_t modifiedNs_ = 0;
    int lockFd_ = -1;
};

// The journal folder of one running editor: its own journal, `<token>.journal`, and the lock it
// holds on `<token>.lock` for as long as it runs. Every file is opened relative to the folder and
// never through a symbolic link; the folder itself must be a real folder of this user, made 0700,
// its files 0600. Failures throw PlatformError naming the file and the reason.
class JournalFolder {
public:
    explicit JournalFolder(std::string path);
    ~JournalFolder();
    JournalFolder(const JournalFolder&) = delete;
    JournalFolder& operator=(const JournalFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string journalPath() const { return path_ + "/" + token_ + ".journal"; }

    // Makes the folder as needed and opens it; a second call after a failure tries again.
    void open();
    bool isOpen() const { return dirFd_ >= 0; }

    // Writes this editor's journal whole or not at all: a temporary file, synced, renamed over
    // the journal, the folder synced. Takes this editor's lock first.
    void write(const std::function<void(const ByteSink&)>& produce);
    // Removes this editor's journal, if there is one.
    void remove();

    // The files a journal's panes start from (journal_format.h), named after the editor that
    // wrote them. Each is written whole before a journal names it.
    std::string baseName(std::uint64_t serial) const;
    // Writes a base of the program's text.
    void writeBase(const std::string& name, const std::function<void(const ByteSink&)>& produce);
    // Copies `source` as a base, by the kernel (sharing its blocks where the file system can),
    // when it still is the file `stamp` recorded, before and after the copy. False when it is
    // not, or is a rich-text file; throws when the copy cannot be written.
    bool copyBase(const std::string& name, const std::string& source, const FileStamp& stamp);
    void removeBase(const std::string& name);

    // The journals of other editors in the folder, newest first, not yet locked.
    std::vector<LeftJournal> leftBehind();
    // Takes the lock of a left journal: false while its editor runs or another editor has it, or
    // when it has gone meanwhile.
    bool lock(LeftJournal& left);
    // The bytes of a left journal.
    std::string read(const LeftJournal& left);
    // A base file of a left journal, or nothing when it is missing or not that journal's.
    std::optional<std::string> readBase(const LeftJournal& left, const std::string& name);
    // A journal whose panes are back: removed.
    void forget(LeftJournal left);
    // A journal the person did not want back, or one that could not be read: moved into
    // discarded/, where it stays seven days.
    void discard(LeftJournal left);
    // Deletes what discarded/ has held for longer than seven days.
    void purgeDiscarded(std::int64_t nowNs);
    // Deletes the bases of editors no longer running that left no journal (one ended between
    // writing a base and the first journal that names it).
    void purgeOrphanBases();

private:
    void takeOwnLock();
    int discardedFd();
    // Writes `name` whole: a temporary file filled by `fill`, synced, renamed; nothing when `fill`
    // says false.
    bool writeWhole(const std::string& name, const std::function<bool(int fd, const std::string& operation)>& fill);
    std::string readFile(const std::string& name, const std::string& operation);
    // The base files of the editor with `token`.
    std::vector<std::string> basesOf(const std::string& token);

    std::string path_;
    std::string token_;
    // Opened by whichever of the window's thread and the writer's comes first.
    std::mutex opening_;
    std::atomic<int> dirFd_{-1};
    int lockFd_ = -1;
};

}  // namespace corvane::journal
