#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "journal/journal_folder.h"
#include "journal/journal_writer.h"

#include <QMessageBox>

namespace corvane::qt {

class MainWindow;

// The recovery journal of a running window (journal/): about a second after typing stops, and
// every second and a half while it goes on (five seconds for panes of over a million characters),
// the panes with unsaved edits are written to the journal. The window's thread only takes a snapshot of each
// pane changed since the last one (the document's own copy of its characters, shared, not copied); the text
// is made and written on the writer's thread. A save or anything else that changes which panes are unsaved
// writes it again at once; a close of the window on purpose removes it.
class RecoveryJournal : public QObject {
    Q_OBJECT
public:
    RecoveryJournal(MainWindow& window, const std::string& folder);
    ~RecoveryJournal() override;

    // At start: offers what editors no longer running left behind (journal/recovery.h).
    void recoverLeftBehind();
    // After every handler of the window: writes at once when the set of unsaved panes, their
    // files or formats changed.
    void afterHandler();
    // The window closes on purpose: the journal goes.
    void closing();

    // Takes a snapshot now and hands it to the writer.
    void writeNow();
    // Waits for the writer.
    void flush() { writer_->flush(); }
    std::uint64_t bytesWritten() const { return writer_->bytesWritten(); }
    const journal::JournalFolder& folder() const { return *folder_; }
    // The box that says the journal cannot be written, while it is shown.
    QMessageBox* failureBox() const { return failureBox_; }

private:
    void paneChanged();
    void followChange(std::size_t pane, int position, int removed, int added);
    void copyWhole(std::size_t pane);
    void written(const std::optional<std::string>& failure);
    // What decides whether the journal needs writing again besides the text.
    std::string stateKey();

    MainWindow& window_;
    std::unique_ptr<journal::JournalFolder> folder_;
    std::unique_ptr<journal::JournalWriter> writer_;
    QTimer idle_;     // a second after the last change
    QTimer longest_;  // five seconds after the first change not yet written
    QTimer retry_;    // after a failed write
    qsizetype takenChars_ = 0;
    // Each pane's characters as the document holds them (QTextDocument::toRawText), kept up to date
    // change by change: a snapshot shares it instead of copying 20 MB of a 10 MB page.
    std::array<QString, 3> shadow_;
    // Where in it the joints of long lines are (qt/long_lines.h), in order.
    std::array<std::vector<int>, 3> joints_;
    std::string lastKey_;
    std::atomic<bool> lastFailed_{false};
    bool told_ = false;
    bool closed_ = false;
    QPointer<QMessageBox> failureBox_;
};

}  // namespace corvane::qt
