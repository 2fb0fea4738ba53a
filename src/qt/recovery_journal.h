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

#include <QMessageBox>
#include <QWidget>

#include "app/frm_m.h"
#include "journal/journal_folder.h"
#include "journal/journal_writer.h"

namespace corvane::qt {

class RichEditWidget;

// What the journal needs of its window: the form with the panes' state, the three panes (HTML, CSS,
// JS), the questions it asks at start, and the way the window runs a handler.
struct JournalWindow {
    QWidget& widget;
    frmM& form;
    std::array<RichEditWidget*, 3> panes;
    Prompt& prompt;
    std::function<void(const std::function<void()>&)> run;
};

// The recovery journal of a running window (journal/): about a second after typing stops, and
// every second and a half while it goes on, the panes with unsaved edits are written to the journal. Each pane is kept as a base and the
// edits made since: the window's thread notes each change of a pane by the characters it changed,
// and a write hands over those edits alone. The base is the pane's file as the pane read it, copied
// on the writer's thread, or else a snapshot of the pane's text (the document's own copy of its
// characters), made into text and written there; a new one is taken when the edits grow long. A
// save or anything else that changes which panes are unsaved writes it again at once; a close of
// the window on purpose removes it.
class RecoveryJournal : public QObject {
    Q_OBJECT
public:
    RecoveryJournal(JournalWindow window, const std::string& folder);
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
    // Where a pane's edits start from.
    enum class Origin {
        None,  // nowhere known: the next write takes a snapshot of the text as a new base
        File,  // the text the pane's file gave when the pane read it
        Base,  // the base `base`
    };
    struct Followed {
        qsizetype length = 0;  // characters of the text now, without the joints of long lines
        Origin origin = Origin::None;
        std::uint64_t base = 0;
        bool copy = false;
        std::function<std::string()> maker;  // makes the base's text, until the writer has it
        qsizetype baseLength = 0;
        // The file the pane last read, and its length when it was last seen with that file's text.
        std::string source;
        FileStamp sourceStamp;
        qsizetype fileLength = 0;
        std::vector<journal::Edit> edits;
        qsizetype editUnits = 0;
        bool loaded = false;  // the whole text was replaced since the pane was last seen saved
        bool edited = false;  // it was changed since
    };

    void paneChanged();
    void followChange(std::size_t pane, int position, int removed, int added);
    // A pane with nothing unsaved: its edits start again from what it holds now.
    void seenSaved(std::size_t pane);
    void noteOpened();
    void dropBase(Followed& followed);
    void written(const std::optional<std::string>& failure, bool refused);
    // What decides whether the journal needs writing again besides the text.
    std::string stateKey();
    bool unsaved(std::size_t pane) const;

    JournalWindow window_;
    std::unique_ptr<journal::JournalFolder> folder_;
    std::unique_ptr<journal::JournalWriter> writer_;
    QTimer idle_;     // a second after the last change
    QTimer longest_;  // a second and a half after the first change not yet written
    QTimer retry_;    // after a failed write
    std::array<Followed, 3> followed_;
    std::uint64_t lastBase_ = 0;
    // The file last opened into the HTML pane, as last seen.
    std::pair<std::string, FileStamp> lastOpened_;
    std::string lastKey_;
    std::atomic<bool> lastFailed_{false};
    bool told_ = false;
    bool closed_ = false;
    QPointer<QMessageBox> failureBox_;
};

}  // namespace corvane::qt
