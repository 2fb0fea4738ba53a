#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "journal/journal_folder.h"
#include "journal/journal_format.h"

namespace corvane::journal {

// A pane as the window's thread took it: everything but the base's text (its edits since the
// base included), and the base it starts from. Until the writer has made that base, the snapshot
// says how: `text` makes the program's text (on the writer's thread), or the base is a copy of the
// file `source` the pane read, as `sourceStamp` recorded it.
struct PaneSnapshot {
    PaneRecord record;
    std::uint64_t base = 0;
    std::function<std::string()> text;
    std::string source;
    FileStamp sourceStamp;
};

struct Snapshot {
    std::int64_t savedAtMs = 0;
    std::vector<PaneSnapshot> panes;  // none: the journal is removed
};

// Writes the journal on a thread of its own. A snapshot handed in while one is being written
// waits, and a newer one replaces it: the journal only ever needs the latest. A base is made once
// and kept while a journal names it; a short text is kept inline in the journal instead of a file.
class JournalWriter {
public:
    // `done` runs on the writer's thread after each snapshot: nothing when it was stored, else why
    // not. `refused` says the pane's file was no longer what a copy base needs: the snapshot was
    // not written, and the window's thread makes its bases again.
    using Done = std::function<void(const std::optional<std::string>& failure, bool refused)>;
    JournalWriter(JournalFolder& folder, Done done);
    ~JournalWriter();
    JournalWriter(const JournalWriter&) = delete;
    JournalWriter& operator=(const JournalWriter&) = delete;

    void submit(Snapshot snapshot);
    // Waits until what was handed in is stored (or failed).
    void flush();
    // Bytes of journal written so far.
    std::uint64_t bytesWritten() const { return bytesWritten_.load(); }
    // Whether the base is made (and not yet let go).
    bool hasBase(std::uint64_t base);

private:
    struct Base {
        BaseKind kind = BaseKind::Inline;
        std::string name;
        std::uint64_t bytes = 0;
        std::uint32_t crc = 0;
        std::string source;  // Copy
        std::string text;    // Inline
    };
    void run();
    // Stores a snapshot; false when a copy base was refused.
    bool store(Snapshot& snapshot);
    void makeBase(PaneSnapshot& pane);
    void dropBases(const std::vector<std::uint64_t>& keep);

    JournalFolder& folder_;
    Done done_;
    std::map<std::uint64_t, Base> bases_;  // guarded by mutex_ for hasBase
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::optional<Snapshot> pending_;
    bool busy_ = false;
    bool stopping_ = false;
    std::atomic<std::uint64_t> bytesWritten_{0};
    std::thread thread_;
};

}  // namespace corvane::journal
