#include "qt/page_messages.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace corvane::qt {

namespace {

constexpr int kPaneRole = Qt::UserRole;
constexpr int kLineRole = Qt::UserRole + 1;
constexpr int kBatchMs = 250;
// While a page keeps writing, the strip is drawn again at most once in this time: every drawing
// of it costs about as much as a key typed into a pane.
constexpr int kFloodMs = 1000;

}  // namespace

PageMessages::PageMessages(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("pageMessages"));
    setAccessibleName(QStringLiteral("页面消息"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    list_ = new QListWidget(this);
    list_->setAccessibleName(QStringLiteral("页面消息"));
    list_->setUniformItemSizes(true);
    list_->setWordWrap(false);
    list_->setTextElideMode(Qt::ElideRight);
    list_->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(list_);
    close_ = new QToolButton(this);
    close_->setText(QStringLiteral("×"));
    close_->setToolTip(QStringLiteral("关闭"));
    close_->setAccessibleName(QStringLiteral("关闭页面消息"));
    close_->setAutoRaise(true);
    close_->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(close_, 0, Qt::AlignTop);
    setFixedHeight(fontMetrics().height() * 5);
    hide();

    batch_.setSingleShot(true);
    connect(&batch_, &QTimer::timeout, this, [this] { flush(); });
    connect(close_, &QToolButton::clicked, this, [this] { hide(); });
    connect(list_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        const int line = item->data(kLineRole).toInt();
        if (line > 0) emit activated(static_cast<PaneId>(item->data(kPaneRole).toInt()), line);
    });
}

void PageMessages::add(const QString& text, PaneId pane, int line) { keep({text, pane, line, QString(), 0}); }

void PageMessages::addFromPage(const QString& message, const QString& source, int line) {
    keep({message, PaneId::Html, 0, source, line});
}

void PageMessages::keep(Message message) {
    waiting_.push_back(std::move(message));
    if (waiting_.size() > static_cast<std::size_t>(kKept)) waiting_.pop_front();
    if (batch_.isActive()) return;
    const qint64 sinceShown = shown_.isValid() ? shown_.elapsed() : kFloodMs;
    batch_.start(static_cast<int>(std::max<qint64>(kBatchMs, kFloodMs - sinceShown)));
}

void PageMessages::clear() {
    waiting_.clear();
    batch_.stop();
    list_->clear();
    hide();
}

void PageMessages::flush() {
    if (waiting_.empty()) return;
    list_->setUpdatesEnabled(false);
    for (Message& message : waiting_) {
        if (!message.source.isNull() && describe) describe(message);
        // A QListWidgetItem's text is never read as markup.
        auto* item = new QListWidgetItem(message.text.left(2000));
        item->setData(kPaneRole, static_cast<int>(message.pane));
        item->setData(kLineRole, message.line);
        list_->addItem(item);
    }
    waiting_.clear();
    while (list_->count() > kKept) delete list_->takeItem(0);
    list_->setUpdatesEnabled(true);
    list_->scrollToBottom();
    show();
    shown_.start();
}

}  // namespace corvane::qt
