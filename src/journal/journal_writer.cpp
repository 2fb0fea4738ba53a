#include "journal/journal_writer.h"

#include <algorithm>

#include "platform/platform_error.h"

namespace corvane::journal {

namespace {

// A base of at most this many bytes goes into the journal itself.
constexpr std::size_t kInlineBytes = 64 * 1024;

}  // namespace

JournalWriter::JournalWriter(JournalFolder& folder, Done done)
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
        bool refused = false;
        try {
            refused = !store(snapshot);
        } catch (const PlatformError& error) {
            failure = error.operation() + "：" + error.reason();
        } catch (const std::exception& error) {
            failure = error.what();
        }
        if (done_) done_(failure, refused);
        {
            std::lock_guard lock(mutex_);
            busy_ = false;
        }
        idle_.notify_all();
    }
}

}  // namespace corvane::journal

namespace corvane::journal {

bool JournalWriter::hasBase(std::uint64_t base) {
    std::lock_guard lock(mutex_);
    return bases_.contains(base);
}

void JournalWriter::makeBase(PaneSnapshot& pane) {
    Base base;
    if (!pane.source.empty()) {
        base.kind = BaseKind::Copy;
        base.name = folder_.baseName(pane.base);
        if (!folder_.copyBase(base.name, pane.source, pane.sourceStamp)) return;
        base.bytes = pane.sourceStamp.size;
        base.crc = pane.sourceStamp.crc;
        base.source = pane.source;
    } else {
        std::string text = pane.text();
        if (text.size() <= kInlineBytes) {
            base.kind = BaseKind::Inline;
            base.text = std::move(text);
        } else {
            base.kind = BaseKind::Whole;
            base.name = folder_.baseName(pane.base);
            base.bytes = text.size();
            base.crc = crc32Of(text);
            folder_.writeBase(base.name, [&text](const ByteSink& sink) { sink(text); });
            bytesWritten_ += text.size();
        }
    }
    std::lock_guard lock(mutex_);
    bases_.emplace(pane.base, std::move(base));
}

bool JournalWriter::store(Snapshot& snapshot) {
    if (snapshot.panes.empty()) {
        folder_.remove();
        dropBases({});
        return true;
    }
    Journal journal;
    journal.savedAtMs = snapshot.savedAtMs;
    std::vector<std::uint64_t> named;
    for (PaneSnapshot& pane : snapshot.panes) {
        if (!hasBase(pane.base)) {
            if (!pane.text && pane.source.empty()) throw PlatformError("保存恢复副本", "缺少底稿");
            makeBase(pane);
            if (!hasBase(pane.base)) return false;
        }
        pane.text = nullptr;  // what made the text is let go on this thread
        const Base& base = bases_.at(pane.base);
        PaneRecord& record = pane.record;
        record.baseKind = base.kind;
        record.baseName = base.name;
        record.baseBytes = base.bytes;
        record.baseCrc = base.crc;
        record.baseSource = base.source;
        if (base.kind == BaseKind::Inline) record.text = base.text;
        named.push_back(pane.base);
        journal.panes.push_back(std::move(record));
    }
    std::uint64_t bytes = 0;
    folder_.write([&](const ByteSink& sink) {
        writeJournal(journal, [&](std::string_view piece) {
            bytes += piece.size();
            sink(piece);
        });
    });
    bytesWritten_ += bytes;
    // The bases the journal no longer names go once it is in place.
    dropBases(named);
    return true;
}

void JournalWriter::dropBases(const std::vector<std::uint64_t>& keep) {
    std::vector<std::string> files;
    {
        std::lock_guard lock(mutex_);
        for (auto it = bases_.begin(); it != bases_.end();) {
            if (std::find(keep.begin(), keep.end(), it->first) != keep.end()) {
                ++it;
                continue;
            }
            if (!it->second.name.empty()) files.push_back(it->second.name);
            it = bases_.erase(it);
        }
    }
    for (const std::string& name : files) folder_.removeBase(name);
}

}  // namespace corvane::journal
