#pragma once

#include <QAction>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QToolBar>
#include <QWidget>
#include <functional>

#include "platform/controls.h"
#include "qt/utf8_text.h"

class QWebEngineView;
class QWebEngineProfile;

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

// The preview pane. It is blank until the first navigation, and only then is the browser engine
// started: its processes hold a few hundred megabytes that an editor never previewing anything
// should not pay for, and the window never waits for them at start-up.
class BrowserPane : public QWidget, public Browser {
    Q_OBJECT
public:
    explicit BrowserPane(QWidget* parent);
    ~BrowserPane() override;
    void navigate(const std::string& address) override;
    // Starts the engine now if it has not started yet.
    QWebEngineView* view();
    bool started() const { return view_ != nullptr; }

private:
    QWebEngineProfile* profile_ = nullptr;
    QWebEngineView* view_ = nullptr;
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
    // The clock asks ten times a second: the time is written out once a second, and the format
    // worked out again only when the system's changes.
    qint64 second_ = -1;
    LocalTime last_;
    QString formatSource_;
    QString format_;
};

}  // namespace corvane::qt
