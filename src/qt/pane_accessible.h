#pragma once

#include <QAccessibleWidget>

class QPlainTextEdit;
class QTextDocument;

namespace corvane::qt {

class LongLines;

// What a screen reader reads of a code pane: the pane's text as a file holds it, a long line whole.
// Qt's own interface for a QPlainTextEdit reads the document as it is, so it would speak every
// joint between the pieces of a long line (qt/long_lines.h) as a line break and count it as a
// character. Here every offset is one of the text without joints, mapped to and from the
// document's positions; in a document without long lines the two are the same.
class PaneAccessible : public QAccessibleWidget,
                       public QAccessibleTextInterface,
                       public QAccessibleEditableTextInterface {
public:
    explicit PaneAccessible(QPlainTextEdit* pane);

    QAccessible::State state() const override;
    QString text(QAccessible::Text t) const override;
    void setText(QAccessible::Text t, const QString& text) override;
    void* interface_cast(QAccessible::InterfaceType t) override;

    void selection(int selectionIndex, int* startOffset, int* endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override;
    QString text(int startOffset, int endOffset) const override;
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                             int* endOffset) const override;
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                            int* endOffset) const override;
    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                         int* endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint& point) const override;
    void scrollToSubstring(int startIndex, int endIndex) override;
    QString attributes(int offset, int* startOffset, int* endOffset) const override;

    void deleteText(int startOffset, int endOffset) override;
    void insertText(int offset, const QString& text) override;
    void replaceText(int startOffset, int endOffset, const QString& text) override;

private:
    QPlainTextEdit* pane() const;
    QTextDocument& document() const;
    // The pane's long lines, which map the offsets to and from the document's positions.
    const LongLines& lines() const;
    LongLines& lines();
    // Answers a text-at, -before or -after question with Qt's own rules about boundaries, asked
    // of the stretch of text around `offset` that holds the answer.
    template <typename Ask>
    QString askNear(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset, int* endOffset,
                    Ask ask) const;
};

// Makes Qt give every code pane a PaneAccessible. Called by each pane; installs once.
void installPaneAccessible();

}  // namespace corvane::qt
