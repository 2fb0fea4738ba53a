#include "qt/adapters.h"

#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDesktopServices>
#include <QFile>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QOpenGLWidget>
#include <QQuickWindow>
#include <QRegularExpression>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <ctime>

#include "platform/platform_error.h"
#include "preview/page_join.h"
#include "qt/colors.h"
#include "qt/page_messages.h"
#include "qt/preview_file_access.h"
#include "qt/preview_site.h"

namespace corvane::qt {

namespace {

// Whether the window is composed through OpenGL (see setUpComposition), which is so only where a
// context can be made.
bool composedThroughOpenGl() {
    static const bool works = [] {
        // Qt Quick's software painting shows in its backend's name; the graphics API it reports
        // stays OpenGL.
        if (QQuickWindow::sceneGraphBackend() == QLatin1String("software") ||
            QQuickWindow::graphicsApi() != QSGRendererInterface::OpenGL)
            return false;
        const QString platform = QGuiApplication::platformName();
        if (!platform.startsWith(QLatin1String("xcb")) && !platform.startsWith(QLatin1String("wayland")))
            return false;
        QOpenGLContext probe;
        return probe.create();
    }();
    return works;
}

}  // namespace

QColor systemColor(std::uint32_t value, const QPalette& palette) {
    if ((value & kSystemColorBase) == 0) return fromColorValue(static_cast<std::int32_t>(value));
    switch (value & ~kSystemColorBase) {
        case 3: {
            // A light tint of the selection colour over the window colour, like an inactive title bar.
            const QColor tint = palette.color(QPalette::Active, QPalette::Highlight);
            const QColor base = palette.color(QPalette::Active, QPalette::Window);
            const auto mix = [](int a, int b) { return (a * 3 + b * 7) / 10; };
            return QColor(mix(tint.red(), base.red()), mix(tint.green(), base.green()),
                          mix(tint.blue(), base.blue()));
        }
        case 5:
            return palette.color(QPalette::Active, QPalette::Base);
        case 15:
        default:
            return palette.color(QPalette::Active, QPalette::Button);
    }
}

LabelWidget::LabelWidget(QWidget* parent) : QLabel(parent) {
    setAutoFillBackground(true);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setFocusPolicy(Qt::NoFocus);
    applyBackColor();
}

std::string LabelWidget::caption() const { return QLabel::text().toStdString(); }

void LabelWidget::setCaption(const std::string& caption) {
    const QString text = fromUtf8(caption);
    // A pane's change handler sets its header's caption on every keystroke, nearly always to the
    // caption it has; only a new caption is worth telling a screen reader about.
    if (text == QLabel::text() && text == accessibleName()) return;
    QLabel::setText(text);
    setAccessibleName(text);
}

void LabelWidget::setBackColor(std::uint32_t color) {
    backColor_ = color;
    applyBackColor();
}

void LabelWidget::applyBackColor() {
    QPalette pal = palette();
    pal.setColor(QPalette::Window, systemColor(backColor_, QApplication::palette()));
    setPalette(pal);
}

void LabelWidget::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ApplicationPaletteChange) applyBackColor();
    QLabel::changeEvent(event);
}

void LabelWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) pressed_ = true;
    QLabel::mousePressEvent(event);
}

// A click is a press and a release over the label; the second click of a double-click is the
// double-click alone.
void LabelWidget::mouseReleaseEvent(QMouseEvent* event) {
    const bool click =
        pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    pressed_ = false;
    QLabel::mouseReleaseEvent(event);
    if (click && !inDoubleClick_) {
        lastClick_.start();
        emit clicked();
    }
    inDoubleClick_ = false;
}

void LabelWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        // A double-click always comes after a click: when the first click of this gesture did not
        // reach the label, it is delivered now.
        const bool clickedJustNow =
            lastClick_.isValid() && lastClick_.elapsed() <= QApplication::doubleClickInterval();
        if (!clickedJustNow) emit clicked();
        lastClick_.invalidate();
        pressed_ = false;
        inDoubleClick_ = true;
        emit doubleClicked();
        return;
    }
    QLabel::mouseDoubleClickEvent(event);
}

BrowserPane::BrowserPane(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Base));
    setPalette(pal);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // Where the window is composed through OpenGL, the browser view needs its window made for
    // OpenGL. Were it first made for plain painting, adding the view at the first preview would
    // destroy it and make it again: the user would see it vanish and come back. A hidden OpenGL
    // widget makes the window right the first time.
    if (composedThroughOpenGl()) {
        auto* surfaceHint = new QOpenGLWidget(this);
        surfaceHint->setObjectName(QStringLiteral("surfaceHint"));
        surfaceHint->setAttribute(Qt::WA_DontShowOnScreen);
        surfaceHint->hide();
    }
    layout->addStretch(1);
    messages_ = new PageMessages(this);
    layout->addWidget(messages_);
    connect(messages_, &PageMessages::activated, this, &BrowserPane::showPaneLine);
    messages_->describe = [this](PageMessages::Message& message) { describeMessage(message); };

    refresh_ = new QAction(QStringLiteral("刷新"), this);
    live_ = new QAction(QStringLiteral("实时预览"), this);
    live_->setCheckable(true);
    join_ = new QAction(QStringLiteral("合并 CSS 和 JS 窗格"), this);
    join_->setCheckable(true);
    join_->setChecked(true);
    openInBrowser_ = new QAction(QStringLiteral("在浏览器中打开"), this);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { showContextMenu(this, at); });

    watchdog_ = new QTimer(this);
    watchdog_->setInterval(1000);
    connect(watchdog_, &QTimer::timeout, this, [this] { watch(); });
}

// The view's page must go before the profile it was made with.
BrowserPane::~BrowserPane() {
    delete view_;
    view_ = nullptr;
}

QWebEngineView* BrowserPane::view() {
    if (view_ != nullptr) return view_;
    // An off-the-record profile: the preview leaves no cache, cookies or history behind.
    profile_ = new QWebEngineProfile(this);
    profile_->settings()->setDefaultTextEncoding(QStringLiteral("utf-8"));
    site_ = new PreviewSite(this);
    servePreviewsFrom(profile_, site_);
    view_ = new QWebEngineView(this);
    view_->setPage(newPage());
    view_->setAccessibleName(QStringLiteral("结果显示区"));
    view_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { showContextMenu(view_, at); });
    auto* layout = static_cast<QVBoxLayout*>(this->layout());
    delete layout->takeAt(layout->indexOf(messages_) - 1);  // the stretch held the strip down
    layout->insertWidget(0, view_, 1);
    view_->show();
    watchdog_->start();
    return view_;
}

QWebEnginePage* BrowserPane::newPage() {
    // The view's child, so that it goes before the profile.
    auto* page = new PreviewWebPage(profile_, view_);
    connect(page, &PreviewWebPage::consoleMessage, this, &BrowserPane::pageMessage);
    connect(page, &QWebEnginePage::loadFinished, this, [this] { watchAnswered_ = true; });
    return page;
}

void BrowserPane::navigate(const std::string& address) {
    const QString text = fromUtf8(address);
    QUrl url(text, QUrl::StrictMode);
    // A plain path (no scheme, or a one-letter drive-like scheme) is a local file.
    if (text.startsWith(u'/') || url.scheme().size() <= 1) url = QUrl::fromLocalFile(text);
    if (!url.isValid()) throw PlatformError("打开网页“" + address + "”", "地址无效");
    messages_->clear();
    replaceWith(url);
}

void BrowserPane::showPage(const PreviewPage& page) {
    const bool first = !started();
    view();
    site_->setPage(page);
    messages_->clear();
    const QUrl url = previewAddress(fromUtf8(page.address));
    if (first) {
        load(url);
        return;
    }
    replaceWith(url);
}

void BrowserPane::replaceWith(const QUrl& url) {
    if (view_ == nullptr) {
        load(url);
        return;
    }
    // The page shown now must answer before the next one can take its place; one that spins in a
    // loop never does, and its renderer is ended.
    waiting_ = url;
    const quint64 question = ++asked_;
    answered_ = false;
    view_->page()->runJavaScript(QStringLiteral("0"), [self = QPointer(this), question](const QVariant&) {
        if (self == nullptr || question != self->asked_) return;
        self->answered_ = true;
        if (!self->waiting_.isEmpty()) self->load(std::exchange(self->waiting_, QUrl()));
    });
    QTimer::singleShot(kAnswerMs, this, [this, question] {
        if (question == asked_ && !answered_ && !waiting_.isEmpty()) endRenderer();
    });
}

void BrowserPane::load(const QUrl& url) {
    ended_ = false;
    watchAnswered_ = true;
    ++watchAsked_;
    view()->setUrl(url);
}

// The page that does not answer goes with its renderer; the next one is loaded in a new page, so
// that the view never waits for the old renderer to end.
void BrowserPane::endRenderer() {
    ++asked_;
    answered_ = true;
    QWebEnginePage* old = view_->page();
    const qint64 pid = old->renderProcessPid();
    view_->setPage(newPage());
    if (pid > 0) ::kill(static_cast<pid_t>(pid), SIGKILL);
    old->deleteLater();
    if (!waiting_.isEmpty()) load(std::exchange(waiting_, QUrl()));
}

// Once a second: a page that has not answered for kStoppedMs, or has grown past kMostMemory, is
// stopped.
void BrowserPane::watch() {
    if (ended_ || view_ == nullptr || !waiting_.isEmpty()) return;
    const qint64 pid = view_->page()->renderProcessPid();
    if (pid <= 0) return;
    QString stopped;
    if (!watchAnswered_ && watchAskedAt_.elapsed() > kStoppedMs) {
        stopped = QStringLiteral("页面已有 %1 秒没有响应，已停止运行。").arg(kStoppedMs / 1000);
    } else {
        QFile statm(QStringLiteral("/proc/%1/statm").arg(pid));
        if (statm.open(QIODevice::ReadOnly)) {
            const QList<QByteArray> fields = statm.readAll().split(' ');
            const qint64 resident = fields.size() > 1 ? fields[1].toLongLong() * ::sysconf(_SC_PAGESIZE) : 0;
            if (resident > kMostMemory) stopped = QStringLiteral("页面占用的内存过多，已停止运行。");
        }
    }
    if (!stopped.isEmpty()) {
        ended_ = true;
        ::kill(static_cast<pid_t>(pid), SIGKILL);
        messages_->add(stopped);
        return;
    }
    if (!watchAnswered_) return;
    watchAnswered_ = false;
    watchAskedAt_.start();
    const quint64 question = ++watchAsked_;
    view_->page()->runJavaScript(QStringLiteral("0"), [self = QPointer(this), question](const QVariant&) {
        if (self != nullptr && question == self->watchAsked_) self->watchAnswered_ = true;
    });
}

void BrowserPane::pageMessage(int level, const QString& message, int line, const QString& source) {
    Q_UNUSED(level);
    for (const ConsoleMessage& said : pageConsoleMessages(message, source, line)) {
        if (said.dropped > 0) {
            messages_->add(QStringLiteral("页面在一秒内写出的消息太多，略去了 %1 条。").arg(said.dropped));
            continue;
        }
        messages_->addFromPage(said.text, said.source.isNull() ? QStringLiteral("") : said.source, said.line);
    }
}

// A message of the page as the strip shows it: with its pane and line in that pane where it came
// from the page itself or a linked pane, else with the file's name and line.
void BrowserPane::describeMessage(PageMessages::Message& message) const {
    QString text = message.text;
    if (text.startsWith(QLatin1String("Uncaught "))) text.remove(0, 9);
    if (const auto where = site_->paneLine(message.source, message.sourceLine)) {
        message.text = fromUtf8(paneMessage(where->first, where->second, toUtf8(text)));
        message.pane = where->first;
        message.line = where->second;
        return;
    }
    // Code the page made itself (eval, a timer's text) has no file to name.
    const QUrl url(message.source);
    const QString name = url.scheme().isEmpty() ? QString() : url.fileName();
    message.text = !name.isEmpty() && message.sourceLine > 0
                       ? QStringLiteral("%1 第 %2 行：%3").arg(name).arg(message.sourceLine).arg(text)
                       : text;
}

void BrowserPane::showContextMenu(QWidget* from, const QPoint& at) {
    QMenu* menu = from == view_ ? view_->createStandardContextMenu() : new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (!menu->isEmpty()) menu->addSeparator();
    menu->addAction(refresh_);
    menu->addAction(live_);
    menu->addAction(join_);
    menu->addAction(openInBrowser_);
    menu->popup(from->mapToGlobal(at));
}

std::string ClipboardAdapter::getText() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard == nullptr) throw PlatformError("读取剪贴板", "没有可用的剪贴板");
    // Unreadable bytes copied from a pane come back as they were.
    return toUtf8(clipboard->text());
}

void ClipboardAdapter::setText(const std::string& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard == nullptr) throw PlatformError("写入剪贴板", "没有可用的剪贴板");
    clipboard->setText(fromUtf8(text));
}

Answer PromptAdapter::askYesNo(const std::string& prompt, const std::string& title) {
    QMessageBox box(QMessageBox::NoIcon, fromUtf8(title), fromUtf8(prompt),
                    QMessageBox::Yes | QMessageBox::No, parent_);
    box.setDefaultButton(QMessageBox::Yes);
    // Escape and the window's close button answer No; a box ended any other way was not answered.
    switch (box.exec()) {
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        default:
            throw PlatformError("询问“" + title + "”", "提示框未得到回答就关闭了");
    }
}

void PromptAdapter::tell(const std::string& message, const std::string& title) {
    QMessageBox box(QMessageBox::Information, fromUtf8(title), fromUtf8(message), QMessageBox::Ok, parent_);
    box.exec();
}

void LauncherAdapter::openUrl(const std::string& url) {
    if (!QDesktopServices::openUrl(QUrl(fromUtf8(url)))) {
        throw PlatformError("打开主页“" + url + "”", "找不到能打开网址的程序");
    }
}

LocalTime ClockAdapter::now() {
    // Within the second already written out nothing is asked of the time zone or the locale.
    const qint64 second = static_cast<qint64>(std::time(nullptr));
    if (second == second_) return last_;
    const QDateTime now = QDateTime::fromSecsSinceEpoch(second);
    const QLocale locale = QLocale::system();
    const QString source = locale.timeFormat(QLocale::LongFormat);
    if (source != formatSource_ || format_.isNull()) {
        // The long time format without its time-zone name, which would crowd the clock box.
        formatSource_ = source;
        format_ = source;
        format_.remove(QRegularExpression(QStringLiteral("\\s*\\bt+\\b")));
        format_ = format_.trimmed();
    }
    LocalTime local;
    local.shortDate = locale.toString(now.date(), QLocale::ShortFormat).toStdString();
    local.longTime = locale.toString(now.time(), format_).toStdString();
    local.hour = now.time().hour();
    local.minute = now.time().minute();
    local.second = now.time().second();
    second_ = second;
    last_ = local;
    return local;
}

}  // namespace corvane::qt
