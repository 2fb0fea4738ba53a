#include "qt/adapters.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDesktopServices>
#include <QLocale>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QOpenGLWidget>
#include <QQuickWindow>
#include <QRegularExpression>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include "platform/platform_error.h"
#include "qt/colors.h"
#include "qt/preview_file_access.h"

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
    keepLocalFilesPrivate(profile_);
    view_ = new QWebEngineView(profile_, this);
    view_->setAccessibleName(QStringLiteral("结果显示区"));
    layout()->addWidget(view_);
    view_->show();
    return view_;
}

void BrowserPane::navigate(const std::string& address) {
    const QString text = fromUtf8(address);
    QUrl url(text, QUrl::StrictMode);
    // A plain path (no scheme, or a one-letter drive-like scheme) is a local file.
    if (text.startsWith(u'/') || url.scheme().size() <= 1) url = QUrl::fromLocalFile(text);
    if (!url.isValid()) throw PlatformError("打开网页“" + address + "”", "地址无效");
    view()->setUrl(url);
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
    const QDateTime now = QDateTime::currentDateTime();
    const QLocale locale = QLocale::system();
    const QString source = locale.timeFormat(QLocale::LongFormat);
    const qint64 second = now.toSecsSinceEpoch();
    if (second == second_ && source == formatSource_) return last_;
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
