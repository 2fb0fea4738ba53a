#pragma once

#include <QObject>
#include <QTextCursor>

class QPlainTextEdit;
class QWidget;

namespace corvane::qt {

// Keeps the shaped glyphs of the paragraphs on a pane's screen from one paint to the next.
//
// A Qt text layout drops its glyphs after each layout and each paint. A key typed then shapes its
// paragraph to lay it out, shapes it again to paint it, and shapes the paragraphs above and below
// as well, which the repaint touches by a pixel. A coloured line of code is shaped a stretch of one
// colour at a time, so each of those costs about twice what it costs in a bare editor: in a 10 MB
// page a key cost 1.2 times a bare editor's instructions. With the glyphs kept, a key shapes its
// paragraph once.
//
// The paragraphs on screen keep their glyphs; those that leave it drop them, so that what is kept
// is never more than a screenful.
class ShownGlyphs : public QObject {
    Q_OBJECT
public:
    explicit ShownGlyphs(QPlainTextEdit* pane);

    // The keeper of a pane's glyphs, or null for another widget.
    static ShownGlyphs* of(const QPlainTextEdit* pane);

    bool eventFilter(QObject* watched, QEvent* event) override;

    // The number of paragraphs that keep their glyphs now (a walk of the whole document).
    int keptCount() const;

private:
    void keepShown();

    QPlainTextEdit* pane_;
    QWidget* viewport_;
    // The paragraphs that keep their glyphs lie between these two. The document moves them with
    // every edit, so that a paragraph that keeps its glyphs is found there at the next paint
    // whatever was typed, pasted or deleted in between.
    QTextCursor first_;
    QTextCursor last_;
};

}  // namespace corvane::qt
