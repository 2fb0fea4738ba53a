#include "qt/recovery_journal.h"

#include <QDateTime>
#include <QMessageBox>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <atomic>
#include <chrono>

#include "app/captions.h"
#include "journal/recovery.h"
#include "platform/platform_error.h"
#include "qt/long_lines.h"
#include "qt/rich_edit_widget.h"
#include "qt/utf8_text.h"

namespace corvane::qt {

namespace {

// A second after typing stops; while it goes on, every second and a half, so that a kill costs at
// most the last two seconds of typing, however long the panes: a write costs the edits since the
// last one, not the text.
constexpr int kIdleMs = 1000;
constexpr int kLongestMs = 1500;
constexpr int kRetryMs = 5000;
// A change of more characters than this is not kept as an edit: the pane's next write takes a new
// base. So is the pane once its edits hold more than this or an eighth of its text, or this many
// edits, whichever comes later.
constexpr int kLargestEdit = 64 * 1024;
constexpr qsizetype kEditUnitsBeforeNewBase = 256 * 1024;
constexpr std::size_t kMostEdits = 4096;
// What an edit costs the journal besides its characters.
constexpr qsizetype kEditOverhead = 24;

// A pane's characters as the window's thread took them: the document's own copy, which the
// writer's thread turns into the program's text without the joints of long lines.
struct TakenText {
    QString raw;
    std::vector<int> joints;
};

std::function<std::string()> takeText(const QString& raw, const std::vector<int>& joints) {
    auto taken = std::make_shared<TakenText>();
    taken->raw = raw;
    taken->joints = joints;
    return [taken] {
        std::string text;
        text.reserve(static_cast<std::size_t>(taken->raw.size()));
        forEachStretch(taken->raw, 0, taken->joints, [&text](QStringView stretch) {
            utf::utf16ToUtf8(
                std::u16string_view(stretch.utf16(), static_cast<std::size_t>(stretch.size())),
                [&text](std::string_view piece) { text += piece; }, true);
        });
        return text;
    };
}

}  // namespace

RecoveryJournal::RecoveryJournal(JournalWindow window, const std::string& folder)
    : QObject(&window.widget), window_(std::move(window)), folder_(std::make_unique<journal::JournalFolder>(folder)) {
    writer_ = std::make_unique<journal::JournalWriter>(
        *folder_, [this](const std::optional<std::string>& failure, bool refused) {
            lastFailed_ = failure.has_value() || refused;
            QMetaObject::invokeMethod(
                this, [this, failure, refused] { written(failure, refused); }, Qt::QueuedConnection);
        });
    for (QTimer* timer : {&idle_, &longest_, &retry_}) {
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, this, [this] { writeNow(); });
    }
    for (int i = 0; i < 3; ++i) {
        RichEditWidget* pane = window_.panes[static_cast<std::size_t>(i)];
        QTextDocument* document = pane->document();
        LongLines* lines = LongLines::of(pane);
        followed_[static_cast<std::size_t>(i)].length = lines->characterCount();
        // The long lines hear of a change first (they attached to the document before the pane
        // was given it): their map of joints is up to date when the journal hears of it.
        connect(document, &QTextDocument::contentsChange, this,
                [this, i](int position, int removed, int added) {
                    followChange(static_cast<std::size_t>(i), position, removed, added);
                });
        std::function<void()> handler = pane->onChange;
        pane->onChange = [this, handler, i] {
            if (handler) handler();
            paneChanged();
        };
    }
}

RecoveryJournal::~RecoveryJournal() {
    // The writer finishes what it has before the folder and the window's state go.
    writer_.reset();
}

void RecoveryJournal::dropBase(Followed& f) {
    f.origin = Origin::None;
    f.base = 0;
    f.maker = nullptr;
    f.edits.clear();
    f.editUnits = 0;
}

// Each change of the text becomes an edit of the text without joints: from the character before
// the change (a joint there may have come or gone with it) to the end of what it put in. What
// follows is the same before and after, so the edit replaces what lay between.
void RecoveryJournal::followChange(std::size_t i, int position, int removed, int added) {
    RichEditWidget* pane = window_.panes[i];
    const LongLines* lines = LongLines::of(pane);
    if (removed == 0 && added == 0) return;
    Followed& f = followed_[i];
    const int end = pane->document()->characterCount() - 1;
    const int from = std::clamp(position - 1, 0, std::max(end, 0));
    const int to = std::clamp(position + added, from, std::max(end, 0));
    const qsizetype length = lines->characterCount();
    const qsizetype at = lines->offsetOf(from);
    const qsizetype tail = length - lines->offsetOf(to);
    const qsizetype gone = f.length - tail - at;
    f.length = length;
    if (at == 0 && tail == 0) {
        // The whole text replaced: a load, as a rule (which runs as a change of formats).
        dropBase(f);
        f.loaded = true;
        f.edited = false;
        return;
    }
    // A change of formats alone leaves the text as it was.
    if (lines->formatting() && !lines->restructuring() && removed == added) return;
    // What a load does after it replaced the text (long lines cut into pieces, say) is still the load.
    f.edited = true;
    if (f.origin == Origin::None) return;
    if (gone < 0 || tail < 0 || to - from > kLargestEdit) {
        dropBase(f);
        return;
    }
    const QString inserted = lines->text(from, to);
    const std::u16string_view units(reinterpret_cast<const char16_t*>(inserted.utf16()),
                                    static_cast<std::size_t>(inserted.size()));
    // Typing goes into the text the edit before put in: one edit grows.
    if (!f.edits.empty()) {
        journal::Edit& last = f.edits.back();
        const auto lastEnd = last.at + static_cast<std::int64_t>(last.inserted.size());
        if (at >= last.at && at + gone <= lastEnd && last.inserted.size() < static_cast<std::size_t>(kLargestEdit)) {
            last.inserted.replace(static_cast<std::size_t>(at - last.at), static_cast<std::size_t>(gone), units);
            f.editUnits += static_cast<qsizetype>(units.size());
            return;
        }
    }
    f.edits.push_back(journal::Edit{at, gone, std::u16string(units)});
    f.editUnits += static_cast<qsizetype>(units.size()) + kEditOverhead;
    if (f.editUnits > std::max(kEditUnitsBeforeNewBase, f.length / 8) || f.edits.size() > kMostEdits) dropBase(f);
}

bool RecoveryJournal::unsaved(std::size_t i) const {
    const frmM& f = window_.form;
    const Flag dirty = i == 0 ? f.htmlDirty : i == 1 ? f.cssDirty : f.jsDirty;
    return dirty == kTrue;
}

// A file opened into the HTML pane (Open loads the whole text, and leaves the pane unsaved, as
// it is no file of the pane's own): the pane's edits start from what the file's bytes give.
void RecoveryJournal::noteOpened() {
    Followed& f = followed_[0];
    const frmM& form = window_.form;
    std::pair<std::string, FileStamp> opened{form.htmlOpened, {}};
    if (const auto known = form.htmlKnown.find(form.htmlOpened); known != form.htmlKnown.end())
        opened.second = known->second;
    const bool newlyOpened = opened != lastOpened_;
    lastOpened_ = std::move(opened);
    if (!f.loaded || !newlyOpened || !lastOpened_.second.known) return;
    dropBase(f);
    f.origin = Origin::File;
    f.source = lastOpened_.first;
    f.sourceStamp = lastOpened_.second;
    f.fileLength = f.length;
    f.loaded = false;
    f.edited = false;
}

void RecoveryJournal::seenSaved(std::size_t i) {
    Followed& f = followed_[i];
    // Replaced (New) or changed since it was last seen saved (a save of edits, say): nothing is
    // known of what a file gives.
    Origin origin = f.edited || f.loaded ? Origin::None : f.origin;
    if (origin == Origin::Base) origin = Origin::None;
    dropBase(f);
    f.origin = origin;
    f.loaded = false;
    f.edited = false;
}

void RecoveryJournal::paneChanged() {
    if (closed_) return;
    // A pane that just became unsaved is kept at once, once the edit is over; later keys wait
    // for a second without typing, or a second and a half at most.
    if (stateKey() != lastKey_) {
        idle_.start(0);
    } else {
        idle_.start(kIdleMs);
    }
    if (!longest_.isActive()) longest_.start(kLongestMs);
}

void RecoveryJournal::afterHandler() {
    noteOpened();
    for (std::size_t i = 0; i < 3; ++i) {
        if (!unsaved(i)) seenSaved(i);
    }
    if (!closed_ && stateKey() != lastKey_) idle_.start(0);
}

// Read from the window's variables only: it runs after every handler, the clock's included.
std::string RecoveryJournal::stateKey() {
    const frmM& f = window_.form;
    std::string key;
    const auto add = [&key](Flag dirty, const std::string& path, const TextFormat& format) {
        if (dirty != kTrue) {
            key += "-\n";
            return;
        }
        key += path + '\n' + format.encoding + (format.byteOrderMark ? "B" : "b") +
               std::to_string(static_cast<int>(format.lineEnd)) + '\n';
    };
    add(f.htmlDirty, f.htm, f.htmlFormat);
    add(f.cssDirty, f.css, f.cssFormat);
    add(f.jsDirty, f.js, f.jsFormat);
    return key;
}

void RecoveryJournal::writeNow() {
    idle_.stop();
    longest_.stop();
    retry_.stop();
    if (closed_) return;
    journal::Snapshot snapshot;
    snapshot.savedAtMs = QDateTime::currentMSecsSinceEpoch();
    noteOpened();
    for (std::size_t i = 0; i < 3; ++i) {
        if (!unsaved(i)) seenSaved(i);
    }
    // Nothing here walks the document, but for a pane whose edits start nowhere known.
    for (journal::PaneRecord& record : window_.form.unsavedPanes(false)) {
        const auto i = static_cast<std::size_t>(record.pane);
        RichEditWidget* pane = window_.panes[i];
        const LongLines* lines = LongLines::of(pane);
        Followed& f = followed_[i];
        if (f.origin == Origin::File) {
            f.origin = Origin::Base;
            f.base = ++lastBase_;
            f.copy = true;
            f.maker = nullptr;
            f.baseLength = f.fileLength;
        } else if (f.origin != Origin::Base) {
            dropBase(f);
            f.origin = Origin::Base;
            f.base = ++lastBase_;
            f.copy = false;
            f.maker = takeText(pane->document()->toRawText(), lines->joints());
            f.baseLength = f.length;
        }
        record.caret = lines->offsetOf(pane->textCursor().position());
        record.baseLength = f.baseLength;
        record.edits = f.edits;
        const bool made = writer_->hasBase(f.base);
        if (made) f.maker = nullptr;
        journal::PaneSnapshot taken{std::move(record), f.base, made ? nullptr : f.maker, {}, {}};
        if (!made && f.copy) {
            taken.source = f.source;
            taken.sourceStamp = f.sourceStamp;
        }
        snapshot.panes.push_back(std::move(taken));
    }
    lastKey_ = stateKey();
    writer_->submit(std::move(snapshot));
}

void RecoveryJournal::written(const std::optional<std::string>& failure, bool refused) {
    if (failure || refused) {
        // A base the writer could not make is taken again, from the text.
        for (Followed& f : followed_) {
            if (f.origin == Origin::Base && f.copy && !writer_->hasBase(f.base)) dropBase(f);
        }
    }
    if (refused && !closed_) idle_.start(0);
    if (!failure) return;
    // Typing goes on; the person hears of it once, and the journal is tried again in a while.
    if (!closed_) retry_.start(kRetryMs);
    if (told_) return;
    told_ = true;
    auto* box = new QMessageBox(QMessageBox::Warning, fromUtf8(text::kJournalFailedTitle),
                                fromUtf8(text::journalFailedMessage(*failure)), QMessageBox::Ok, &window_.widget);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setAttribute(Qt::WA_ShowWithoutActivating);
    box->setModal(false);
    box->setWindowModality(Qt::NonModal);
    failureBox_ = box;
    box->show();
}

void RecoveryJournal::recoverLeftBehind() {
    try {
        folder_->open();
    } catch (const PlatformError& error) {
        written(error.operation() + "：" + error.reason(), false);
        return;
    }
    window_.run([this] {
        const auto now = std::chrono::system_clock::now().time_since_epoch();
        journal::recoverLeftJournals(
            *folder_, window_.prompt,
            [this](const journal::Journal& journal) {
                window_.form.restorePanes(journal);
                // The left journal goes only once this editor's own journal holds its panes.
                writeNow();
                writer_->flush();
                if (lastFailed_) {
                    throw PlatformError("保存恢复副本", "恢复的内容没能写入本程序的恢复文件，原恢复文件保留");
                }
            },
            std::chrono::duration_cast<std::chrono::nanoseconds>(now).count());
    });
}

void RecoveryJournal::closing() {
    if (closed_) return;
    closed_ = true;
    idle_.stop();
    longest_.stop();
    retry_.stop();
    writer_->submit(journal::Snapshot{});
    writer_->flush();
}

}  // namespace corvane::qt
