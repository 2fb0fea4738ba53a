#pragma once

#include <QPlainTextEdit>
#include <QTextBlock>

namespace corvane::qt {

// Where a pane's paragraphs stand on screen, as the pane's own painting finds them. Asked instead
// through the character under the pane's corner and the caret rectangle, each of which shapes the
// whole paragraph it lands in, that cost every repaint of the caret a paragraph shaped twice.
class PaneView : public QPlainTextEdit {
public:
    static QTextBlock firstShown(const QPlainTextEdit* pane) {
        return (pane->*&PaneView::firstVisibleBlock)();
    }
    static qreal topOf(const QPlainTextEdit* pane, const QTextBlock& block) {
        const QPointF offset = (pane->*&PaneView::contentOffset)();
        return (pane->*&PaneView::blockBoundingGeometry)(block).translated(offset).top();
    }
};

}  // namespace corvane::qt
