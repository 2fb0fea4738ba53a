#pragma once

#include <QAction>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QWidget>
#include <functional>

#include "platform/controls.h"
#include "qt/page_messages.h"
#include "qt/utf8_text.h"

class QWebEngineView;
class QWebEngineProfile;
class QMenu;
class QWebEnginePage;

namespace corvane::qt {

// A label drawn opaque on the window's surface; it reports clicks and double-clicks.
class LabelWidget : public QLabel, public Label {
    Q_OBJECT
public:
    explicit LabelWidget(QWidget* parent);
    std::string caption() const override;
    void setCaption(const std::string& caption) override;
    std::uint32_t backColor() const override { return backColor_; }
    void setBackColor(std::uint32_t color) override;

signals:
    void clicked();
    void doubleClicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void applyBackColor();
    std::uint32_t backColor_ = kButtonFaceColor;
    bool pressed_ = false;
    bool inDoubleClick_ = false;
    QElapsedTimer lastClick_;
};

class TextBoxWidget : public QLineEdit, public TextBox {
    Q_OBJECT
public:
    explicit TextBoxWidget(QWidget* parent) : QLineEdit(parent) {}
    std::string text() const override { return QLineEdit::text().toStdString(); }
    // The start of the text stays in view when it is wider than the box. The clock writes its
    // text ten times a second; only a new text is worth repainting the box for.
    void setText(const std::string& text) override {
        const QString value = fromUtf8(text);
        if (value == QLineEdit::text()) return;
        QLineEdit::setText(value);
        setCursorPosition(0);
    }
};

class FormAdapter : public Form {
public:
    explicit FormAdapter(QWidget* window) : window_(window) {}
    std::string caption() const override { return window_->windowTitle().toStdString(); }
    void setCaption(const std::string& caption) override { window_->setWindowTitle(fromUtf8(caption)); }
    void close() override { window_->close(); }

private:
    QWidget* window_;
};

class MenuItemAdapter : public MenuItem {
public:
    explicit MenuItemAdapter(QAction* action) : action_(action) {}
    bool checked() const override { return action_->isChecked(); }
    void setChecked(bool checked) override { action_->setChecked(checked); }

private:
    QAction* action_;
};

class ToolBarAdapter : public ToolBar {
public:
    explicit ToolBarAdapter(QToolBar* toolBar) : toolBar_(toolBar) {}
    bool visible() const override { return toolBar_->isVisibleTo(toolBar_->parentWidget()); }
    void setVisible(bool visible) override { toolBar_->setVisible(visible); }

private:
    QToolBar* toolBar_;
};

class PreviewSite;

// The preview pane. It is blank until the first navigation, and only then is the browser engine
// started: its processes hold a few hundred megabytes that an editor never previewing anything
// should not pay for, and the window never waits for them at start-up.
//
// A page is someone else's code and never holds the editor: before a new page replaces one, the
// old page must answer within kAnswerMs, or its renderer is ended; a page that stops answering
// for kStoppedMs, or whose renderer grows past kMostMemory, is ended and the pane says so.
class BrowserPane : public QWidget, public Browser {
    Q_OBJECT
public:
    static constexpr int kAnswerMs = 500;
    static constexpr int kStoppedMs = 5000;
    static constexpr qint64 kMostMemory = qint64(3) << 30;

    explicit BrowserPane(QWidget* parent);
    ~BrowserPane() override;
    void navigate(const std::string& address) override;
    void showPage(const PreviewPage& page) override;
    // Starts the engine now if it has not started yet.
    QWebEngineView* view();
    bool started() const { return view_ != nullptr; }
    PageMessages* messages() const { return messages_; }

    // The pane's own context-menu items; the window gives them their work.
    QAction* refreshAction() const { return refresh_; }
    QAction* liveAction() const { return live_; }
    QAction* joinAction() const { return join_; }
    QAction* openInBrowserAction() const { return openInBrowser_; }

signals:
    // A message of the page was clicked: show that line of that pane.
    void showPaneLine(PaneId pane, int line);

private:
    void showContextMenu(QWidget* from, const QPoint& at);
    void pageMessage(int level, const QString& message, int line, const QString& source);
    void describeMessage(PageMessages::Message& message) const;
    void load(const QUrl& url);
    // Loads `url` once the page shown now has answered, or in a new page when it does not.
    void replaceWith(const QUrl& url);
    void loadWhenAnswered();
    void endRenderer();
    QWebEnginePage* newPage();
    void watch();

    QWebEngineProfile* profile_ = nullptr;
    QWebEngineView* view_ = nullptr;
    PreviewSite* site_ = nullptr;
    PageMessages* messages_ = nullptr;
    QAction* refresh_ = nullptr;
    QAction* live_ = nullptr;
    QAction* join_ = nullptr;
    QAction* openInBrowser_ = nullptr;
    // The page waiting for the old one to answer or end, and the question it was asked.
    QUrl waiting_;
    quint64 asked_ = 0;
    bool answered_ = true;
    bool ended_ = false;  // the pane ended the page's renderer and has said so
    QTimer* watchdog_ = nullptr;
    quint64 watchAsked_ = 0;
    bool watchAnswered_ = true;
    QElapsedTimer watchAskedAt_;
};

class ClipboardAdapter : public Clipboard {
public:
    std::string getText() override;
    void setText(const std::string& text) override;
};

class PromptAdapter : public Prompt {
public:
    explicit PromptAdapter(QWidget* parent) : parent_(parent) {}
    Answer askYesNo(const std::string& prompt, const std::string& title) override;
    void tell(const std::string& message, const std::string& title) override;

private:
    QWidget* parent_;
};

class LauncherAdapter : public Launcher {
public:
    void openUrl(const std::string& url) override;
};

class ClockAdapter : public Clock {
public:
    LocalTime now() override;

private:
    // The clock asks ten times a second: the time is read in the time zone and written out once
    // a second, and the format worked out again only when the system's changes.
    qint64 second_ = -1;
    LocalTime last_;
    QString formatSource_;
    QString format_;
};

}  // namespace corvane::qt
