#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "journal/journal_folder.h"
#include "journal/journal_format.h"

namespace corvane::journal {

// A pane as the window's thread took it: everything but the text, and what makes the text. The
// window's thread only copies what makes the text cheaply; the text itself is made on the
// writer's thread.
struct PaneSnapshot {
    PaneRecord record;
    std::function<std::string()> text;
};

struct Snapshot {
    std::int64_t savedAtMs = 0;
    std::vector<PaneSnapshot> panes;  // none: the journal is removed
};

// Writes the journal on a thread of its own. A snapshot handed in while one is being written
// waits, and a newer one replaces it: the journal only ever needs the latest.
class JournalWriter {
public:
    // `done` runs on the writer's thread after each snapshot: nothing when it was stored, else why not.
    JournalWriter(JournalFolder& folder, std::function<void(const std::optional<std::string>&)> done);
    ~JournalWriter();
    JournalWriter(const JournalWriter&) = delete;
    JournalWriter& operator=(const JournalWriter&) = delete;

    void submit(Snapshot snapshot);
    // Waits until what was handed in is stored (or failed).
    void flush();
    // Bytes of journal written so far.
    std::uint64_t bytesWritten() const { return bytesWritten_.load(); }

private:
    void run();

    JournalFolder& folder_;
    std::function<void(const std::optional<std::string>&)> done_;
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
