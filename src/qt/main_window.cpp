#include "qt/main_window.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QToolButton>
#include <array>
#include <functional>

#include "app/captions.h"
#include "app/window_definition.h"
#include "qt/code_colouring.h"
#include "qt/find_bar.h"
#include "qt/recovery_journal.h"
#include "qt/twips.h"
#include "qt/utf8_text.h"

namespace corvane::qt {

namespace {

QIcon toolbarImage(int number) {
    return QIcon(QStringLiteral(":/icons/toolbar/%1.svg").arg(number, 2, 10, QLatin1Char('0')));
}

}  // namespace

void ClientArea::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    emit resized();
}

void ClientArea::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    if (!painted_) {
        painted_ = true;
        emit firstPainted();
    }
}

QFont paneFont() {
    const QStringList families = QFontDatabase::families();
    QString family;
    for (const QString& candidate :
         {fromUtf8(def::kPaneFontName), QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Sans SC"),
          QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Droid Sans Fallback")}) {
        if (families.contains(candidate)) {
            family = candidate;
            break;
        }
    }
    QFont font = family.isEmpty() ? QFontDatabase::systemFont(QFontDatabase::GeneralFont) : QFont(family);
    font.setPointSize(def::kPaneFontPoints);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    setObjectName(fromUtf8(def::kFormName));
    setWindowTitle(fromUtf8(def::kCaption));
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/corvane-16.svg"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/icons/corvane.svg"), QSize(32, 32));
    setWindowIcon(icon);
    report_ = [this](const QString& operation, const QString& reason) {
        QMessageBox::warning(this, QStringLiteral("Corvane"),
                             operation + QStringLiteral("失败。\n\n") + reason);
    };

    client_ = new ClientArea(this);
    setCentralWidget(client_);
    buildControls();
    buildMenus();
    buildToolBar();

    formAdapter_ = std::make_unique<FormAdapter>(this);
    dialog_ = std::make_unique<QtCommonDialog>(this);
    toolBarAdapter_ = std::make_unique<ToolBarAdapter>(toolBar_);
    viewToolbar_ = std::make_unique<MenuItemAdapter>(menuAction("mnuViewToolbar"));
    txtL_ = std::make_unique<MenuItemAdapter>(menuAction("mnuTxtL"));
    txtC_ = std::make_unique<MenuItemAdapter>(menuAction("mnuTxtC"));
    txtR_ = std::make_unique<MenuItemAdapter>(menuAction("mnuTxtR"));
    prompt_ = std::make_unique<PromptAdapter>(this);
    // The change events are connected here, after the sample text is in place.
    frm_ = std::make_unique<frmM>(FormControls{*formAdapter_, *richTextBox1_, *richTextBox2_, *richTextBox3_,
                                               *label1_, *label4_, *label5_, *text2_, *browser_, *dialog_,
                                               *toolBarAdapter_, *viewToolbar_, *txtL_, *txtC_, *txtR_,
                                               clipboard_, *prompt_, launcher_, clock_});

    connectEvents();
    connectPreviewCommands();
    buildLayoutWindow();
    connect(client_, &ClientArea::resized, this, [this] { formResize(); });

    const int menuHeight = menuBar()->sizeHint().height();
    resize(toPixels(def::kClientWidth, this), toPixels(def::kClientHeight, this) + menuHeight);

    run([this] { frm_->Form_Load(); });
    timer1_->start();
}

template <typename Sender, typename Signal>
void MainWindow::connectHandler(const Sender* sender, Signal signal, void (frmM::*handler)()) {
    connect(sender, signal, this, [this, handler] { run([this, handler] { std::invoke(handler, *frm_); }); });
}

// The events of the controls, each to its handler (the menus are wired as they are built).
void MainWindow::connectEvents() {
    connectHandler(label1_, &LabelWidget::clicked, &frmM::Label1_Click);
    connectHandler(label4_, &LabelWidget::clicked, &frmM::Label4_Click);
    connectHandler(label5_, &LabelWidget::clicked, &frmM::Label5_Click);
    connectHandler(label1_, &LabelWidget::doubleClicked, &frmM::Label1_DblClick);
    connectHandler(label4_, &LabelWidget::doubleClicked, &frmM::Label4_DblClick);
    connectHandler(label5_, &LabelWidget::doubleClicked, &frmM::Label5_DblClick);
    connectHandler(label3_, &LabelWidget::clicked, &frmM::Label3_Click);
    connectHandler(command1_, &QPushButton::clicked, &frmM::Command1_Click);
    connectHandler(timer1_, &QTimer::timeout, &frmM::Timer1_Timer);
}

// The preview pane's context menu, its live preview and its message strip.
void MainWindow::connectPreviewCommands() {
    connectHandler(browser_->refreshAction(), &QAction::triggered, &frmM::Command1_Click);
    connectHandler(browser_->openInBrowserAction(), &QAction::triggered, &frmM::OpenPreviewInBrowser);
    connect(browser_->joinAction(), &QAction::toggled, this,
            [this](bool on) { frm_->previewJoinsPanes = on; });
    liveWait_ = new QTimer(this);
    liveWait_->setSingleShot(true);
    liveWait_->setInterval(kLiveWaitMs);
    connect(liveWait_, &QTimer::timeout, this, [this] {
        if (browser_->liveAction()->isChecked()) run([this] { frm_->Command1_Click(); });
    });
    connect(browser_->liveAction(), &QAction::toggled, this, [this](bool on) {
        if (on) {
            liveWait_->start();
        } else {
            liveWait_->stop();
        }
    });
    // Every key restarts the wait: the page is built only once typing stops.
    for (RichEditWidget* pane : {richTextBox1_, richTextBox2_, richTextBox3_}) {
        pane->onChange = [this, change = std::move(pane->onChange)] {
            if (change) change();
            if (browser_->liveAction()->isChecked()) liveWait_->start();
        };
    }
    connect(browser_, &BrowserPane::showPaneLine, this,
            [this](PaneId pane, int line) { showPaneLine(pane, line); });
}

// What a click on a message of the page does: the pane comes forward as its header's click brings
// it, with the caret at the start of the line.
void MainWindow::showPaneLine(PaneId pane, int line) {
    switch (pane) {
        case PaneId::Html:
            run([this] { frm_->Label1_Click(); });
            break;
        case PaneId::Css:
            run([this] { frm_->Label4_Click(); });
            break;
        case PaneId::Js:
            run([this] { frm_->Label5_Click(); });
            break;
    }
    RichEditWidget* edit = this->pane(static_cast<int>(pane) + 1);
    edit->moveCaretToLine(line);
    edit->setFocus();
}

// The layout engine sees every control of the definition, then every menu item, in order.
void MainWindow::buildLayoutWindow() {
    layoutWindow_ = std::make_unique<FormLayoutWindow>(this, client_);
    for (const def::Control& c : def::kControls) {
        QWidget* widget = c.visual ? client_->findChild<QWidget*>(fromUtf8(c.name)) : nullptr;
        if (widget != nullptr) {
            layoutWindow_->addMember(std::make_unique<WidgetMember>(std::string(c.name), widget));
        } else {
            layoutWindow_->addMember(std::make_unique<PlaceLessMember>(std::string(c.name)));
        }
    }
    for (const def::Menu& m : def::kMenus)
        layoutWindow_->addMember(std::make_unique<PlaceLessMember>(std::string(m.name)));
}

void MainWindow::openFile(const QString& path) {
    const std::string name = QFileInfo(path).absoluteFilePath().toStdString();
    run([this, &name] { frm_->OpenFile(name); });
}

void MainWindow::formResize() {
    run([this] { frm_->Form_Resize(*layoutWindow_); });
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    // Minimising and restoring change the client size the layout sees without resizing the widget.
    if (event->type() == QEvent::WindowStateChange && isVisible()) formResize();
}

MainWindow::~MainWindow() {
    // The handlers must not run while the controls they use are being destroyed.
    timer1_->stop();
    if (liveWait_ != nullptr) liveWait_->stop();
    for (RichEditWidget* pane : {richTextBox1_, richTextBox2_, richTextBox3_}) pane->onChange = nullptr;
}

void MainWindow::run(const std::function<void()>& handler) {
    runGuarded(report_, handler);
    if (journal_) journal_->afterHandler();
}

void MainWindow::enableRecoveryJournal(const std::string& folder) {
    journal_ = std::make_unique<RecoveryJournal>(
        JournalWindow{*this, form(), {pane(1), pane(2), pane(3)}, prompt(),
                      [this](const std::function<void()>& handler) { run(handler); }},
        folder);
    QTimer::singleShot(0, this, [this] {
        if (journal_) journal_->recoverLeftBehind();
    });
}

void MainWindow::placeAtDesignGeometry(QWidget* widget, std::string_view name) {
    const def::Control& c = def::control(name);
    widget->setObjectName(fromUtf8(c.name));
    widget->setGeometry(toPixels(c.left, this), toPixels(c.top, this), toPixels(c.width, this),
                        toPixels(c.height, this));
}

void MainWindow::buildControls() {
    command1_ = new QPushButton(fromUtf8(def::control("Command1").text), client_);
    placeAtDesignGeometry(command1_, "Command1");

    browser_ = new BrowserPane(client_);
    placeAtDesignGeometry(browser_, "WebBrowser1");
    browser_->setFocusPolicy(Qt::StrongFocus);

    timer1_ = new QTimer(this);
    timer1_->setObjectName(QStringLiteral("Timer1"));
    timer1_->setInterval(def::kTimerIntervalMs);

    toolBar_ = new QToolBar(client_);
    placeAtDesignGeometry(toolBar_, "tbToolBar");

    text2_ = new TextBoxWidget(toolBar_);
    placeAtDesignGeometry(text2_, "Text2");
    text2_->QLineEdit::setText(fromUtf8(def::control("Text2").text));
    text2_->setAccessibleName(QStringLiteral("时钟"));

    const QFont font = paneFont();
    const auto makePane = [this, &font](std::string_view name, std::string_view caption, bool horizontalBar,
                                        CodeLanguage language) {
        auto* pane = new RichEditWidget(client_);
        placeAtDesignGeometry(pane, name);
        pane->setFont(font);
        pane->document()->setDefaultFont(font);
        pane->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        pane->setHorizontalScrollBarPolicy(horizontalBar ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
        pane->setAccessibleName(fromUtf8(caption));
        new CodeColouring(pane, language);
        new FindBar(pane);
        return pane;
    };
    richTextBox1_ = makePane("RichTextBox1", text::kHtmlCaption, true, CodeLanguage::Html);
    richTextBox2_ = makePane("RichTextBox2", text::kCssCaption, false, CodeLanguage::Css);
    richTextBox3_ = makePane("RichTextBox3", text::kJsCaption, false, CodeLanguage::JavaScript);
    richTextBox1_->setPlainText(fromUtf8(def::sampleText()));

    const auto makeLabel = [this](std::string_view name) {
        auto* label = new LabelWidget(client_);
        placeAtDesignGeometry(label, name);
        const def::Control& c = def::control(name);
        label->setCaption(std::string(c.text));
        if (!c.toolTip.empty()) label->setToolTip(fromUtf8(c.toolTip));
        return label;
    };
    label1_ = makeLabel("Label1");
    label2_ = makeLabel("Label2");
    label3_ = makeLabel("Label3");
    label4_ = makeLabel("Label4");
    label5_ = makeLabel("Label5");
    label1_->setBackColor(kInactiveTitleBarColor);
    label3_->setCursor(Qt::PointingHandCursor);

    // Stacking: the first control of the definition lies on top.
    for (auto it = def::kControls.rbegin(); it != def::kControls.rend(); ++it) {
        if (!it->visual) continue;
        if (auto* widget = client_->findChild<QWidget*>(fromUtf8(it->name))) widget->raise();
    }

    // Tab order by tab index; labels and the toolbar never take the focus.
    toolBar_->setFocusPolicy(Qt::NoFocus);
    QWidget* order[] = {richTextBox1_, browser_, text2_, command1_, richTextBox2_, richTextBox3_};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
}

void MainWindow::buildMenus() {
    QMenu* current = nullptr;
    for (const def::Menu& m : def::kMenus) {
        QAction* action = nullptr;
        if (m.level == def::MenuLevel::Bar) {
            if (m.handler != nullptr) {
                // A command on the menu bar itself.
                action = menuBar()->addAction(fromUtf8(m.caption));
                current = nullptr;
            } else {
                current = menuBar()->addMenu(fromUtf8(m.caption));
                action = current->menuAction();
            }
        } else if (m.level == def::MenuLevel::Separator) {
            action = current->addSeparator();
        } else {
            action = current->addAction(fromUtf8(m.caption));
        }
        action->setObjectName(fromUtf8(m.name));
        action->setCheckable(m.checkable);
        action->setChecked(m.checked);
        if (!m.shortcut.empty()) {
            action->setShortcut(QKeySequence(fromUtf8(m.shortcut)));
            action->setShortcutContext(Qt::WindowShortcut);
        }
        if (m.handler != nullptr) {
            // The menu's own toggling of a check mark is undone: only the handler sets marks.
            connect(action, &QAction::triggered, this,
                    [this, action, handler = m.handler, checkable = m.checkable] {
                        if (checkable) action->setChecked(!action->isChecked());
                        run([this, handler] { std::invoke(handler, *frm_); });
                    });
        }
        menuActions_.emplace(std::string(m.name), action);
    }
}

void MainWindow::buildToolBar() {
    toolBar_->setMovable(false);
    toolBar_->setIconSize(QSize(def::kToolImageWidthPx, def::kToolImageHeightPx));
    toolBar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    toolBar_->setAccessibleName(QStringLiteral("工具栏"));
    auto* alignments = new QActionGroup(toolBar_);
    alignments->setExclusive(true);
    for (const def::ToolButton& b : def::kToolButtons) {
        if (b.kind == def::ButtonKind::Separator) {
            toolBar_->addSeparator();
            continue;
        }
        auto* action = new QAction(toolbarImage(b.image), fromUtf8(b.key), toolBar_);
        action->setToolTip(fromUtf8(b.key));
        action->setData(fromUtf8(b.key));
        if (b.kind == def::ButtonKind::Group) {
            action->setCheckable(true);
            alignments->addAction(action);
        }
        toolBar_->addAction(action);
        if (auto* button = qobject_cast<QToolButton*>(toolBar_->widgetForAction(action))) {
            button->setFixedSize(def::kToolButtonWidthPx, def::kToolButtonHeightPx);
            button->setFocusPolicy(Qt::NoFocus);
        }
        toolActions_.emplace(std::string(b.key), action);
    }
    connect(toolBar_, &QToolBar::actionTriggered, this, [this](QAction* action) {
        const std::string key = action->data().toString().toStdString();
        run([this, key] { frm_->tbToolBar_ButtonClick(key); });
    });
}

QAction* MainWindow::menuAction(std::string_view name) const {
    auto found = menuActions_.find(name);
    return found == menuActions_.end() ? nullptr : found->second;
}

QAction* MainWindow::toolAction(std::string_view key) const {
    auto found = toolActions_.find(key);
    return found == toolActions_.end() ? nullptr : found->second;
}

RichEditWidget* MainWindow::pane(int number) const {
    const std::array panes{richTextBox1_, richTextBox2_, richTextBox3_};
    return panes.at(static_cast<std::size_t>(number - 1));
}

LabelWidget* MainWindow::label(int number) const {
    const std::array labels{label1_, label2_, label3_, label4_, label5_};
    return labels.at(static_cast<std::size_t>(number - 1));
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shownOnce_) {
        shownOnce_ = true;
        richTextBox1_->setFocus();
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    std::int16_t cancel = kFalse;
    run([this, &cancel] { frm_->Form_QueryUnload(cancel, 0); });
    if (cancel == kTrue) {
        event->ignore();
    } else {
        // Closed on purpose, with nothing unsaved or with the person's word: nothing to recover.
        if (journal_) journal_->closing();
        event->accept();
    }
}

}  // namespace corvane::qt
