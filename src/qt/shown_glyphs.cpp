#include "qt/shown_glyphs.h"

#include <QEvent>
#include <QImage>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include "qt/pane_view.h"

namespace corvane::qt {

namespace {

// A layout that keeps no glyphs drops them at the end of each paint: painted above its first line,
// where nothing is drawn, it drops them and draws nothing.
void dropGlyphs(QTextLayout* layout, QPainter& painter) {
    layout->setCacheEnabled(false);
    if (layout->lineCount() == 0) return;
    layout->draw(&painter, QPointF(), {}, QRectF(0, layout->position().y() - 1000, 1, 1));
}

}  // namespace

ShownGlyphs::ShownGlyphs(QPlainTextEdit* pane) : QObject(pane), pane_(pane), viewport_(pane->viewport()) {
    viewport_->installEventFilter(this);
}

ShownGlyphs* ShownGlyphs::of(const QPlainTextEdit* pane) {
    return pane->findChild<ShownGlyphs*>(QString(), Qt::FindDirectChildrenOnly);
}

bool ShownGlyphs::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Paint && watched == viewport_) keepShown();
    return false;
}

void ShownGlyphs::keepShown() {
    QTextDocument* doc = pane_->document();
    QTextBlock block = PaneView::firstShown(pane_);
    QTextBlock firstShown = block;
    QTextBlock lastShown;
    if (block.isValid()) {
        // The paragraphs down to the bottom of the view, and one more: the pane paints what the
        // region touches, and a paragraph not yet laid out has a line's height.
        const qreal height = viewport_->height();
        const qreal lineHeight = pane_->fontMetrics().lineSpacing();
        qreal y = PaneView::topOf(pane_, block);
        bool below = false;
        while (block.isValid()) {
            if (block.isVisible()) {
                QTextLayout* layout = block.layout();
                layout->setCacheEnabled(true);
                lastShown = block;
                if (below) break;
                y += layout->lineCount() > 0 ? layout->boundingRect().bottom() : lineHeight;
                below = y >= height;
            }
            block = block.next();
        }
    }

    // Those that kept them before and are no longer shown drop them.
    const bool known = !first_.isNull() && first_.document() == doc && !last_.isNull();
    if (known) {
        const int firstNumber = firstShown.isValid() ? firstShown.blockNumber() : -1;
        const int lastNumber = lastShown.isValid() ? lastShown.blockNumber() : -1;
        // Made only when some paragraph has glyphs to drop: most paints drop none.
        QImage scratch;
        QPainter painter;
        const QTextBlock end = last_.block().next();
        QTextBlock kept = first_.block();
        for (int number = kept.blockNumber(); kept.isValid() && kept != end; kept = kept.next(), ++number) {
            if (number >= firstNumber && number <= lastNumber) continue;
            QTextLayout* layout = kept.layout();
            if (!layout->cacheEnabled()) continue;
            if (!painter.isActive()) {
                scratch = QImage(1, 1, QImage::Format_ARGB32_Premultiplied);
                painter.begin(&scratch);
            }
            dropGlyphs(layout, painter);
        }
    }

    if (!firstShown.isValid() || !lastShown.isValid()) {
        first_ = last_ = QTextCursor();
        return;
    }
    // Text put in at the start of the first stays after the cursor, and at the end of the last
    // before it.
    first_ = QTextCursor(firstShown);
    first_.setKeepPositionOnInsert(true);
    last_ = QTextCursor(lastShown);
    last_.movePosition(QTextCursor::EndOfBlock);
}

int ShownGlyphs::keptCount() const {
    int count = 0;
    for (QTextBlock block = pane_->document()->firstBlock(); block.isValid(); block = block.next()) {
        if (block.layout()->cacheEnabled()) ++count;
    }
    return count;
}

}  // namespace corvane::qt
