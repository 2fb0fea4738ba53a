#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
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

    // The journals of other editors in the folder, newest first, not yet locked.
    std::vector<LeftJournal> leftBehind();
    // Takes the lock of a left journal: false while its editor runs or another editor has it, or
    // when it has gone meanwhile.
    bool lock(LeftJournal& left);
    // The bytes of a left journal.
    std::string read(const LeftJournal& left);
    // A journal whose panes are back: removed.
    void forget(LeftJournal left);
    // A journal the person did not want back, or one that could not be read: moved into
    // discarded/, where it stays seven days.
    void discard(LeftJournal left);
    // Deletes what discarded/ has held for longer than seven days.
    void purgeDiscarded(std::int64_t nowNs);

private:
    void takeOwnLock();
    int discardedFd();

    std::string path_;
    std::string token_;
    // Opened by whichever of the window's thread and the writer's comes first.
    std::mutex opening_;
    std::atomic<int> dirFd_{-1};
    int lockFd_ = -1;
};

}  // namespace corvane::journal
