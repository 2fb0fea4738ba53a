#include "journal/journal_writer.h"

#include "platform/platform_error.h"

namespace corvane::journal {

JournalWriter::JournalWriter(JournalFolder& folder,
                             std::function<void(const std::optional<std::string>&)> done)
    : folder_(folder), done_(std::move(done)), thread_([this] { run(); }) {}

JournalWriter::~JournalWriter() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void JournalWriter::submit(Snapshot snapshot) {
    {
        std::lock_guard lock(mutex_);
        pending_ = std::move(snapshot);
    }
    wake_.notify_all();
}

void JournalWriter::flush() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return !pending_ && !busy_; });
}

void JournalWriter::run() {
    for (;;) {
        Snapshot snapshot;
        {
            std::unique_lock lock(mutex_);
            // What is pending is still written when stopping: it may be the last of the work.
            wake_.wait(lock, [this] { return stopping_ || pending_.has_value(); });
            if (!pending_) return;
            snapshot = std::move(*pending_);
            pending_.reset();
            busy_ = true;
        }
        std::optional<std::string> failure;
        try {
            if (snapshot.panes.empty()) {
                folder_.remove();
            } else {
                Journal journal;
                journal.savedAtMs = snapshot.savedAtMs;
                for (PaneSnapshot& pane : snapshot.panes) {
                    journal.panes.push_back(std::move(pane.record));
                    journal.panes.back().text = pane.text();
                    pane.text = nullptr;  // what made the text is let go on this thread
                }
                std::uint64_t bytes = 0;
                folder_.write([&](const ByteSink& sink) {
                    writeJournal(journal, [&](std::string_view piece) {
                        bytes += piece.size();
                        sink(piece);
                    });
                });
                bytesWritten_ += bytes;
            }
        } catch (const PlatformError& error) {
            failure = error.operation() + "：" + error.reason();
        } catch (const std::exception& error) {
            failure = error.what();
        }
        if (done_) done_(failure);
        {
            std::lock_guard lock(mutex_);
            busy_ = false;
        }
        idle_.notify_all();
    }
}

}  // namespace corvane::journal
