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
#include "qt/main_window.h"
#include "qt/utf8_text.h"

namespace corvane::qt {

namespace {

// A second after typing stops; while it goes on, every second and a half, so that a kill costs at
// most the last two seconds of typing. Panes of more than a million characters in all are written
// every five seconds while typing goes on: each write of them costs the disk megabytes.
constexpr int kIdleMs = 1000;
constexpr int kLongestMs = 1500;
constexpr int kLongestLargeMs = 5000;
constexpr qsizetype kLargeChars = 1000000;
constexpr int kRetryMs = 5000;

// A pane's characters as the window's thread took them: the document's own copy, which the
// writer's thread turns into the program's text without the joints of long lines.
struct TakenText {
    QString raw;
    std::vector<int> joints;
};

std::function<std::string()> takeText(const QString& raw, const std::vector<int>& joints) {
    auto taken = std::make_shared<TakenText>();
    taken->raw = raw;  // shared, not copied
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

RecoveryJournal::RecoveryJournal(MainWindow& window, const std::string& folder)
    : QObject(&window), window_(window), folder_(std::make_unique<journal::JournalFolder>(folder)) {
    writer_ =
        std::make_unique<journal::JournalWriter>(*folder_, [this](const std::optional<std::string>& failure) {
            lastFailed_ = failure.has_value();
            QMetaObject::invokeMethod(
                this, [this, failure] { written(failure); }, Qt::QueuedConnection);
        });
    for (QTimer* timer : {&idle_, &longest_, &retry_}) {
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, this, [this] { writeNow(); });
    }
    for (int i = 0; i < 3; ++i) {
        RichEditWidget* pane = window_.pane(i + 1);
        QTextDocument* document = pane->document();
        copyWhole(static_cast<std::size_t>(i));
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

// The copy follows each change of the document by the characters of the changed range alone. While
// the writer still holds the copy of the last snapshot, the first change after it copies the text
// once (the writer lets go of it once it has made the text, well before the next key, as a rule).
void RecoveryJournal::followChange(std::size_t i, int position, int removed, int added) {
    QString& copy = shadow_[i];
    const QTextDocument& document = *window_.pane(static_cast<int>(i) + 1)->document();
    const qsizetype length = document.characterCount() - 1;
    // The counts of a change of the whole document take in its last paragraph's end, which is no
    // character of the text.
    const qsizetype from = position;
    const qsizetype gone = std::min<qsizetype>(removed, copy.size() - from);
    const qsizetype come = std::min<qsizetype>(added, length - from);
    if (from < 0 || gone < 0 || come < 0) {
        copyWhole(i);
        return;
    }
    QTextCursor range(const_cast<QTextDocument*>(&document));
    range.setPosition(static_cast<int>(from));
    range.setPosition(static_cast<int>(from + come), QTextCursor::KeepAnchor);
    const QString inserted = range.selectedText();
    if (gone == come) {
        // A change of formatting alone (or of as many characters as it replaces): no copy grows.
        if (QStringView(copy).mid(from, gone) != inserted) copy.replace(from, gone, inserted);
    } else {
        copy.replace(from, gone, inserted);
    }
    if (copy.size() != length) {
        copyWhole(i);
        return;
    }
    // The joints: those in the changed range and at its edges are found again, those after it move.
    std::vector<int>& joints = joints_[i];
    const auto first = std::lower_bound(joints.begin(), joints.end(), static_cast<int>(from - 1));
    const auto last = std::upper_bound(first, joints.end(), static_cast<int>(from + gone));
    const auto shift = static_cast<int>(come - gone);
    for (auto it = last; it != joints.end(); ++it) *it += shift;
    std::vector<int> found;
    for (QTextBlock block = document.findBlock(static_cast<int>(std::max<qsizetype>(from, 1)));
         block.isValid() && block.position() <= from + come + 1; block = block.next()) {
        if (block.position() > 0 && block.position() - 1 >= from - 1 && continuesLine(block))
            found.push_back(block.position() - 1);
    }
    const auto at = joints.erase(first, last);
    joints.insert(at, found.begin(), found.end());
}

void RecoveryJournal::copyWhole(std::size_t i) {
    const QTextDocument& document = *window_.pane(static_cast<int>(i) + 1)->document();
    shadow_[i] = document.toRawText();
    joints_[i] = jointsIn(document, 0, static_cast<int>(shadow_[i].size()));
}

void RecoveryJournal::paneChanged() {
    if (closed_) return;
    // A pane that just became unsaved is kept at once, once the edit is over; later keys wait
    // for a second without typing, or five seconds at most.
    if (stateKey() != lastKey_) {
        idle_.start(0);
    } else {
        idle_.start(kIdleMs);
    }
    if (!longest_.isActive()) longest_.start(takenChars_ > kLargeChars ? kLongestLargeMs : kLongestMs);
}

void RecoveryJournal::afterHandler() {
    if (!closed_ && stateKey() != lastKey_) idle_.start(0);
}

// Read from the window's variables only: it runs after every handler, the clock's included.
std::string RecoveryJournal::stateKey() {
    const frmM& f = window_.form();
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
    takenChars_ = 0;
    // Nothing here walks the document: the copies and their joints are up to date already.
    for (journal::PaneRecord& record : window_.form().unsavedPanes(false)) {
        const auto i = static_cast<std::size_t>(record.pane);
        const std::vector<int>& joints = joints_[i];
        const int position = window_.pane(static_cast<int>(i) + 1)->textCursor().position();
        record.caret = position - (std::lower_bound(joints.begin(), joints.end(), position) - joints.begin());
        takenChars_ += shadow_[i].size();
        snapshot.panes.push_back(journal::PaneSnapshot{std::move(record), takeText(shadow_[i], joints)});
    }
    lastKey_ = stateKey();
    writer_->submit(std::move(snapshot));
}

void RecoveryJournal::written(const std::optional<std::string>& failure) {
    if (!failure) return;
    // Typing goes on; the person hears of it once, and the journal is tried again in a while.
    if (!closed_) retry_.start(kRetryMs);
    if (told_) return;
    told_ = true;
    auto* box = new QMessageBox(QMessageBox::Warning, fromUtf8(text::kJournalFailedTitle),
                                fromUtf8(text::journalFailedMessage(*failure)), QMessageBox::Ok, &window_);
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
        written(error.operation() + "：" + error.reason());
        return;
    }
    window_.run([this] {
        const auto now = std::chrono::system_clock::now().time_since_epoch();
        journal::recoverLeftJournals(
            *folder_, window_.prompt(),
            [this](const journal::Journal& journal) {
                window_.form().restorePanes(journal);
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
