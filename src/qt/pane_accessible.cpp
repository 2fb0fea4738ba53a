#include "qt/pane_accessible.h"

#include <QFontMetrics>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <utility>
#include <vector>

#include <QPlainTextEdit>

#include "qt/long_lines.h"

namespace corvane::qt {

namespace {

// A stretch of the pane's text, for Qt's own rules about words, sentences and lines
// (QAccessibleTextInterface's textAtOffset and the like read nothing but text and
// characterCount).
class Stretch : public QAccessibleTextInterface {
public:
    explicit Stretch(QString text) : text_(std::move(text)) {}
    void selection(int, int* startOffset, int* endOffset) const override { *startOffset = *endOffset = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int startOffset, int endOffset) const override {
        return text_.mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return static_cast<int>(text_.size()); }
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int* startOffset, int* endOffset) const override {
        *startOffset = *endOffset = -1;
        return {};
    }

private:
    QString text_;
};

// Words and sentences are looked for within this many characters either side of the offset
// asked about, so that a question about a line of a megabyte reads a few thousand characters.
constexpr int kNear = 4096;

QTextBlock firstOfLine(QTextBlock block) {
    while (continuesLine(block)) block = block.previous();
    return block;
}

QTextBlock lastOfLine(QTextBlock block) {
    while (continuesLine(block.next())) block = block.next();
    return block;
}

QAccessibleInterface* paneInterface(const QString&, QObject* object) {
    auto* pane = qobject_cast<QPlainTextEdit*>(object);
    return pane != nullptr && LongLines::of(pane) != nullptr ? new PaneAccessible(pane) : nullptr;
}

// Where the changes Qt reports go: a handler installed before ours, or else the platform's bridge
// to the screen readers.
QAccessible::UpdateHandler earlierUpdate = nullptr;

void paneUpdate(QAccessibleEvent* event);

void sendOn(QAccessibleEvent* event) {
    if (earlierUpdate != nullptr) {
        earlierUpdate(event);
        return;
    }
    QAccessible::installUpdateHandler(nullptr);
    QAccessible::updateAccessibility(event);
    QAccessible::installUpdateHandler(&paneUpdate);
}

// Qt reports a change of a pane's characters with the document's positions and characters; a
// screen reader is told it in the text without joints, and not at all when only the pieces of a
// long line were split or joined again. How many characters a removal took is told as Qt tells
// it: the joints among them are gone by then.
void paneUpdate(QAccessibleEvent* event) {
    const QAccessible::Event type = event->type();
    const LongLines* lines = LongLines::of(event->object());
    if (lines == nullptr || (type != QAccessible::TextInserted && type != QAccessible::TextRemoved &&
                             type != QAccessible::TextUpdated)) {
        sendOn(event);
        return;
    }
    if (lines->restructuring()) return;
    QObject* pane = event->object();
    if (type == QAccessible::TextRemoved) {
        const auto* removal = static_cast<QAccessibleTextRemoveEvent*>(event);
        QAccessibleTextRemoveEvent told(pane, lines->offsetOf(removal->changePosition()),
                                        removal->textRemoved());
        sendOn(&told);
        return;
    }
    int position = 0;
    QString inserted;
    if (type == QAccessible::TextInserted) {
        const auto* insertion = static_cast<QAccessibleTextInsertEvent*>(event);
        position = insertion->changePosition();
        inserted = insertion->textInserted();
    } else {
        const auto* update = static_cast<QAccessibleTextUpdateEvent*>(event);
        position = update->changePosition();
        inserted = update->textInserted();
    }
    const QString text = lines->text(position, position + static_cast<int>(inserted.size()));
    if (type == QAccessible::TextInserted) {
        if (text.isEmpty()) return;
        QAccessibleTextInsertEvent told(pane, lines->offsetOf(position), text);
        sendOn(&told);
    } else {
        QAccessibleTextUpdateEvent told(pane, lines->offsetOf(position),
                                        static_cast<QAccessibleTextUpdateEvent*>(event)->textRemoved(), text);
        sendOn(&told);
    }
}

}  // namespace

void installPaneAccessible() {
    static const bool installed = [] {
        QAccessible::installFactory(&paneInterface);
        earlierUpdate = QAccessible::installUpdateHandler(&paneUpdate);
        return true;
    }();
    (void)installed;
}

PaneAccessible::PaneAccessible(QPlainTextEdit* pane) : QAccessibleWidget(pane, QAccessible::EditableText) {}

QPlainTextEdit* PaneAccessible::pane() const { return static_cast<QPlainTextEdit*>(widget()); }

QTextDocument& PaneAccessible::document() const { return *pane()->document(); }

const LongLines& PaneAccessible::lines() const { return *LongLines::of(widget()); }

LongLines& PaneAccessible::lines() { return *LongLines::of(widget()); }

QAccessible::State PaneAccessible::state() const {
    QAccessible::State state = QAccessibleWidget::state();
    state.editable = !pane()->isReadOnly();
    state.readOnly = pane()->isReadOnly();
    state.multiLine = true;
    state.selectableText = true;
    return state;
}

QString PaneAccessible::text(QAccessible::Text t) const {
    return t == QAccessible::Value ? text(0, characterCount()) : QAccessibleWidget::text(t);
}

void PaneAccessible::setText(QAccessible::Text t, const QString& text) {
    if (t == QAccessible::Value) {
        replaceText(0, characterCount(), text);
    } else {
        QAccessibleWidget::setText(t, text);
    }
}

void* PaneAccessible::interface_cast(QAccessible::InterfaceType t) {
    if (t == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
    if (t == QAccessible::EditableTextInterface) return static_cast<QAccessibleEditableTextInterface*>(this);
    return QAccessibleWidget::interface_cast(t);
}

void PaneAccessible::selection(int selectionIndex, int* startOffset, int* endOffset) const {
    *startOffset = *endOffset = 0;
    const QTextCursor cursor = pane()->textCursor();
    if (selectionIndex != 0 || !cursor.hasSelection()) return;
    *startOffset = lines().offsetOf(cursor.selectionStart());
    *endOffset = lines().offsetOf(cursor.selectionEnd());
}

int PaneAccessible::selectionCount() const { return pane()->textCursor().hasSelection() ? 1 : 0; }

void PaneAccessible::addSelection(int startOffset, int endOffset) { setSelection(0, startOffset, endOffset); }

void PaneAccessible::removeSelection(int selectionIndex) {
    if (selectionIndex != 0) return;
    QTextCursor cursor = pane()->textCursor();
    cursor.clearSelection();
    pane()->setTextCursor(cursor);
}

void PaneAccessible::setSelection(int selectionIndex, int startOffset, int endOffset) {
    if (selectionIndex != 0) return;
    QTextCursor cursor = pane()->textCursor();
    cursor.setPosition(lines().positionOf(startOffset));
    cursor.setPosition(lines().positionOf(endOffset), QTextCursor::KeepAnchor);
    pane()->setTextCursor(cursor);
}

int PaneAccessible::cursorPosition() const { return lines().offsetOf(pane()->textCursor().position()); }

void PaneAccessible::setCursorPosition(int position) {
    QTextCursor cursor = pane()->textCursor();
    cursor.setPosition(lines().positionOf(position));
    pane()->setTextCursor(cursor);
}

QString PaneAccessible::text(int startOffset, int endOffset) const {
    const int last = document().characterCount() - 1;
    return lines().text(lines().positionOf(startOffset),
                        endOffset < 0 ? last : lines().positionOf(endOffset));
}

int PaneAccessible::characterCount() const { return lines().characterCount(); }

template <typename Ask>
QString PaneAccessible::askNear(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                                int* endOffset, Ask ask) const {
    const int last = document().characterCount() - 1;
    int from = 0;
    int to = last;
    if (boundaryType == QAccessible::LineBoundary || boundaryType == QAccessible::ParagraphBoundary) {
        // The line of the file that holds the offset, and the lines either side of it.
        const QTextBlock block = document().findBlock(lines().positionOf(offset));
        QTextBlock first = firstOfLine(block);
        if (first.previous().isValid()) first = firstOfLine(first.previous());
        QTextBlock end = lastOfLine(block);
        if (end.next().isValid()) end = lastOfLine(end.next());
        from = first.position();
        to = std::min(end.position() + end.length(), last);
    } else if (boundaryType != QAccessible::NoBoundary) {
        from = lines().positionOf(offset - kNear);
        to = lines().positionOf(offset + kNear);
    }
    const int base = lines().offsetOf(from);
    const Stretch stretch(lines().text(from, to));
    QString answer = ask(stretch, offset - base, boundaryType, startOffset, endOffset);
    if (*startOffset >= 0) *startOffset += base;
    if (*endOffset >= 0) *endOffset += base;
    return answer;
}

QString PaneAccessible::textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                         int* startOffset, int* endOffset) const {
    return askNear(offset, boundaryType, startOffset, endOffset,
                   [](const Stretch& s, int at, auto type, int* start, int* end) {
                       return s.textBeforeOffset(at, type, start, end);
                   });
}

QString PaneAccessible::textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                        int* startOffset, int* endOffset) const {
    return askNear(offset, boundaryType, startOffset, endOffset,
                   [](const Stretch& s, int at, auto type, int* start, int* end) {
                       return s.textAfterOffset(at, type, start, end);
                   });
}

QString PaneAccessible::textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                                     int* endOffset) const {
    return askNear(offset, boundaryType, startOffset, endOffset,
                   [](const Stretch& s, int at, auto type, int* start, int* end) {
                       return s.textAtOffset(at, type, start, end);
                   });
}

QRect PaneAccessible::characterRect(int offset) const {
    QTextCursor cursor(&document());
    cursor.setPosition(lines().positionOf(offset));
    const QRect caret = pane()->cursorRect(cursor);
    const QChar character = document().characterAt(cursor.position());
    cursor.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
    const int width = QFontMetrics(cursor.charFormat().font()).horizontalAdvance(character);
    return {pane()->viewport()->mapToGlobal(caret.topLeft()), QSize(width, caret.height())};
}

int PaneAccessible::offsetAtPoint(const QPoint& point) const {
    const QPoint inside = pane()->viewport()->mapFromGlobal(point);
    if (!pane()->viewport()->rect().contains(inside)) return -1;
    return lines().offsetOf(pane()->cursorForPosition(inside).position());
}

void PaneAccessible::scrollToSubstring(int startIndex, int endIndex) {
    QTextCursor cursor(&document());
    cursor.setPosition(lines().positionOf(endIndex));
    const QRect end = pane()->cursorRect(cursor);
    cursor.setPosition(lines().positionOf(startIndex));
    const QRect start = pane()->cursorRect(cursor);
    const QRect shown = pane()->viewport()->rect();
    if (!shown.contains(start) || !shown.contains(end)) {
        // The pane scrolls by the lines as shown: the first shown is the one that holds the start.
        const QTextBlock block = cursor.block();
        const QTextLine line = block.layout()->lineForTextPosition(cursor.positionInBlock());
        pane()->verticalScrollBar()->setValue(block.firstLineNumber() +
                                              (line.isValid() ? line.lineNumber() : 0));
        QScrollBar* across = pane()->horizontalScrollBar();
        if (start.left() < shown.left() || start.right() > shown.right())
            across->setValue(across->value() + start.left() - shown.width() / 4);
    }
}

QString PaneAccessible::attributes(int offset, int* startOffset, int* endOffset) const {
    const int position = lines().positionOf(offset);
    const QTextBlock block = document().findBlock(position);
    QTextCharFormat format = block.charFormat();
    *startOffset = offset;
    *endOffset = offset;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (position >= fragment.position() && position < fragment.position() + fragment.length()) {
            format = fragment.charFormat();
            *startOffset = lines().offsetOf(fragment.position());
            *endOffset = lines().offsetOf(fragment.position() + fragment.length());
            break;
        }
    }
    const QFont font = format.font().resolve(pane()->font());
    QString attributes = QStringLiteral("font-family:\"%1\";font-size:%2pt;font-weight:%3;font-style:%4;")
                             .arg(font.family())
                             .arg(font.pointSizeF())
                             .arg(font.bold() ? QStringLiteral("bold") : QStringLiteral("normal"))
                             .arg(font.italic() ? QStringLiteral("italic") : QStringLiteral("normal"));
    if (font.underline()) attributes += QStringLiteral("text-underline-style:solid;");
    if (font.strikeOut()) attributes += QStringLiteral("text-line-through-type:single;");
    if (format.hasProperty(QTextFormat::ForegroundBrush)) {
        const QColor color = format.foreground().color();
        attributes +=
            QStringLiteral("color:rgb(%1,%2,%3);").arg(color.red()).arg(color.green()).arg(color.blue());
    }
    return attributes;
}

void PaneAccessible::deleteText(int startOffset, int endOffset) { replaceText(startOffset, endOffset, {}); }

void PaneAccessible::insertText(int offset, const QString& text) { replaceText(offset, offset, text); }

void PaneAccessible::replaceText(int startOffset, int endOffset, const QString& text) {
    if (pane()->isReadOnly()) return;
    // As the person's own edit, so that long lines are held in pieces again afterwards.
    lines().replace(startOffset, endOffset, text);
}

}  // namespace corvane::qt
