#pragma once

#include <QMainWindow>
#include <QTimer>
#include <QToolBar>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "app/frm_m.h"
#include "qt/adapters.h"
#include "qt/common_dialog_qt.h"
#include "qt/guard.h"
#include "qt/layout_adapter.h"
#include "qt/rich_edit_widget.h"

class QPushButton;

namespace corvane::qt {

class RecoveryJournal;

// The client area: the window below its menu bar, where every control has its place.
class ClientArea : public QWidget {
    Q_OBJECT
public:
    explicit ClientArea(QWidget* parent) : QWidget(parent) {}

signals:
    void resized();
    void firstPainted();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool painted_ = false;
};

// frmM as a real window, built from the window definition. Every event reaches its handler in
// frmM through one guard that reports failures.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    frmM& form() { return *frm_; }
    ClientArea* client() const { return client_; }
    RichEditWidget* pane(int number) const;  // 1 HTML, 2 CSS, 3 JS
    LabelWidget* label(int number) const;    // Label1 … Label5
    BrowserPane* browser() const { return browser_; }
    QPushButton* runButton() const { return command1_; }
    QToolBar* toolBar() const { return toolBar_; }
    TextBoxWidget* clockBox() const { return text2_; }
    QTimer* timer() const { return timer1_; }
    QTimer* liveWait() const { return liveWait_; }
    static constexpr int kLiveWaitMs = 700;
    QAction* menuAction(std::string_view name) const;
    QAction* toolAction(std::string_view key) const;
    QtCommonDialog& commonDialog() { return *dialog_; }
    Prompt& prompt() { return *prompt_; }

    // Keeps the panes' unsaved edits in a recovery journal in `folder` (journal/), and offers what
    // editors that did not end properly left there once the event loop runs.
    void enableRecoveryJournal(const std::string& folder);
    RecoveryJournal* recoveryJournal() const { return journal_.get(); }

    void setFailureReporter(FailureReporter reporter) { report_ = std::move(reporter); }
    // Runs a handler of frmM the way an event does.
    void run(const std::function<void()>& handler);
    // One pass of the proportional layout over the window as it is now.
    void formResize();
    // Shows a file as Open does; a failure is reported like any other.
    void openFile(const QString& path);

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    void buildToolBar();
    void placeAtDesignGeometry(QWidget* widget, std::string_view name);
    void buildLayoutWindow();
    void connectEvents();
    void connectPreviewCommands();
    void showPaneLine(PaneId pane, int line);
    // Runs `handler` of frmM, through the guard, whenever `sender` emits `signal`.
    template <typename Sender, typename Signal>
    void connectHandler(const Sender* sender, Signal signal, void (frmM::*handler)());

    ClientArea* client_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    TextBoxWidget* text2_ = nullptr;
    QPushButton* command1_ = nullptr;
    BrowserPane* browser_ = nullptr;
    RichEditWidget* richTextBox1_ = nullptr;  // HTML
    RichEditWidget* richTextBox2_ = nullptr;  // CSS
    RichEditWidget* richTextBox3_ = nullptr;  // JS
    LabelWidget* label1_ = nullptr;           // header of the HTML pane
    LabelWidget* label2_ = nullptr;           // heading of the preview
    LabelWidget* label3_ = nullptr;           // contact link
    LabelWidget* label4_ = nullptr;           // header of the CSS pane
    LabelWidget* label5_ = nullptr;           // header of the JS pane
    QTimer* timer1_ = nullptr;
    // Live preview: the page follows the panes once typing has stopped for kLiveWaitMs.
    QTimer* liveWait_ = nullptr;
    std::map<std::string, QAction*, std::less<>> menuActions_;
    std::map<std::string, QAction*, std::less<>> toolActions_;

    std::unique_ptr<FormAdapter> formAdapter_;
    std::unique_ptr<QtCommonDialog> dialog_;
    std::unique_ptr<ToolBarAdapter> toolBarAdapter_;
    std::unique_ptr<MenuItemAdapter> viewToolbar_, txtL_, txtC_, txtR_;
    ClipboardAdapter clipboard_;
    std::unique_ptr<PromptAdapter> prompt_;
    LauncherAdapter launcher_;
    ClockAdapter clock_;
    std::unique_ptr<frmM> frm_;
    std::unique_ptr<FormLayoutWindow> layoutWindow_;
    FailureReporter report_;
    bool shownOnce_ = false;
    // Last: it goes first, while the window's state it reads is still there.
    std::unique_ptr<RecoveryJournal> journal_;
};

// The font of the code panes: "微软雅黑" where installed, else an installed sans-serif CJK font.
QFont paneFont();

}  // namespace corvane::qt
