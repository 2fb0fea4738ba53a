#include "qt/rich_edit_widget.h"

#include <QAbstractUndoItem>
#include <QKeyEvent>
#include <QMimeData>
#include <QPlainTextDocumentLayout>
#include <QPrinter>
#include <QScopedValueRollback>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "platform/platform_error.h"
#include "qt/colors.h"
#include "qt/common_dialog_qt.h"
#include "qt/long_lines.h"
#include "qt/pane_accessible.h"
#include "qt/twips.h"
#include "qt/utf8_text.h"

namespace corvane::qt {

namespace {

// The characters as a file holds them: paragraph and line separators as "\n", escaped bytes
// (panes/utf.h) as they came, everything else, no-break spaces included, as it is. Handed to `sink`
// a piece at a time: saving a long text never holds a whole second copy of it.
void convertToFileText(QStringView text, const std::function<void(std::string_view)>& sink) {
    utf::utf16ToUtf8(std::u16string_view(text.utf16(), static_cast<std::size_t>(text.size())), sink, true);
}

std::string toFileText(QStringView text) { return toUtf8(text, true); }

// The number of UTF-16 code units that UTF-8 `text` becomes.
std::size_t utf16Length(std::string_view text) {
    std::size_t units = 0;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte & 0xC0) != 0x80) units += byte >= 0xF0 ? 2 : 1;
    }
    return units;
}

Qt::Alignment toQtAlignment(Alignment alignment) {
    switch (alignment) {
        case Alignment::Right:
            return Qt::AlignRight;
        case Alignment::Center:
            return Qt::AlignHCenter;
        case Alignment::Justify:
            return Qt::AlignJustify;
        case Alignment::Left:
        default:
            return Qt::AlignLeft;
    }
}

// Only what differs from the pane's own format is set: each property costs memory in every
// distinct format the document holds.
QTextCharFormat toQtFormat(const CharFormat& format, const QStringList& families) {
    QTextCharFormat qtFormat;
    if (!families.isEmpty()) qtFormat.setFontFamilies(families);
    if (format.fontSize > 0) qtFormat.setFontPointSize(format.fontSize);
    if (format.bold) qtFormat.setFontWeight(QFont::Bold);
    if (format.italic) qtFormat.setFontItalic(true);
    if (format.underline) qtFormat.setFontUnderline(true);
    if (format.strike) qtFormat.setFontStrikeOut(true);
    if (format.color != kDefaultColor) qtFormat.setForeground(fromColorValue(format.color));
    return qtFormat;
}

// The plain-text layout with paragraph alignment. Its own layout of a paragraph always uses the
// document's default alignment, so the paragraph's alignment is set on the laid-out paragraph
// whenever the view asks where a paragraph is: before it paints it, places the caret in it or
// finds the character under the mouse. A line then lines up within the pane's width, as in a
// QTextEdit without wrapping; a line wider than the pane starts at the left.
//
// The pieces of a long line (qt/long_lines.h) are laid out again wrapped at the pane's width
// whenever the plain-text layout has laid them out in one line, and a change within a piece is
// laid out here at once, wrapped. Short lines are never wrapped. The width of the document is
// then that of its widest short line: the plain-text layout would count the pieces unwrapped.
class PaneDocumentLayout : public QPlainTextDocumentLayout {
public:
    using QPlainTextDocumentLayout::QPlainTextDocumentLayout;

    QRectF blockBoundingRect(const QTextBlock& block) const override {
        if (!block.isValid()) return QPlainTextDocumentLayout::blockBoundingRect(block);
        // Within an edit block the document reports its changes to the layout only when the block
        // ends, and until then a changed paragraph keeps the lines of its earlier text; the view
        // asks where the caret is before that (a paste scrolls to the caret, the pane's own edits
        // are edit blocks). Lines that no longer hold the paragraph's text are laid out again;
        // where that changes the paragraph's height, the report of the change then repaints the
        // whole view, as a change of height would have.
        int linesBefore = -1;
        if (!inChange_) {
            QTextLayout* layout = block.layout();
            if (layout->lineCount() > 0) {
                const QTextLine last = layout->lineAt(layout->lineCount() - 1);
                if (last.textStart() + last.textLength() !=
                    block.length() - 1 + layout->preeditAreaText().size()) {
                    linesBefore = layout->lineCount();
                    layout->clearLayout();
                    relaid_ = true;
                }
            }
        }
        const bool piece = isPiece(block);
        if (piece) const_cast<PaneDocumentLayout*>(this)->wrapPiece(block);
        QRectF rect = QPlainTextDocumentLayout::blockBoundingRect(block);
        QTextLayout* layout = block.layout();
        if (linesBefore >= 0 && layout->lineCount() != linesBefore) resizedEarly_ = true;
        const Qt::Alignment alignment = block.blockFormat().alignment() & Qt::AlignHorizontal_Mask;
        QTextOption option = layout->textOption();
        if (option.alignment() != alignment) {
            option.setAlignment(alignment);
            layout->setTextOption(option);
        }
        if ((alignment & (Qt::AlignRight | Qt::AlignHCenter)) && layout->lineCount() > 0) {
            // What is repainted after a change must reach where the text now stands.
            rect.setWidth(qMax(rect.width(), layout->lineAt(0).width() + 2 * document()->documentMargin()));
        }
        // The widest line is measured again, as the plain-text layout does, after a width change.
        const int paneWidth = paintDevice() != nullptr ? paintDevice()->width() : 0;
        if (paneWidth != measuredAt_) {
            measuredAt_ = paneWidth;
            widest_ = 0;
        }
        if (!piece && layout->lineCount() > 0) {
            const qreal width = layout->lineAt(0).naturalTextWidth() + 2 * document()->documentMargin();
            if (width > widest_) widest_ = width;
        }
        return rect;
    }

    QSizeF documentSize() const override {
        const QSizeF size = QPlainTextDocumentLayout::documentSize();
        if (!piecesShown_) return size;
        const qreal paneWidth = paintDevice() != nullptr ? paintDevice()->width() : 0;
        return QSizeF(qMax(widest_, paneWidth), size.height());
    }

protected:
    void documentChanged(int from, int removed, int added) override {
        // Paragraphs laid out again before this report already look as they do after it.
        const QScopedValueRollback<bool> inChange(inChange_, true);
        changed(from, removed, added);
        if (std::exchange(relaid_, false)) emit documentSizeChanged(documentSize());
        if (std::exchange(resizedEarly_, false)) {
            emit update(QRectF(0., -document()->documentMargin(), 1000000000., 1000000000.));
        }
    }

private:
    void changed(int from, int removed, int added) {
        QTextDocument* doc = document();
        if (from == 0 && added == doc->characterCount()) widest_ = 0;
        const QTextBlock block = doc->findBlock(from);
        if (blockCount_ == doc->blockCount() && block.isValid() && block.length() > 0 && isPiece(block) &&
            doc->findBlock(qMax(0, from + removed + added - 1)) == block) {
            // A change within one piece: laid out once, wrapped.
            const QRectF before = blockBoundingRect(block);
            block.layout()->clearLayout();
            const QRectF after = blockBoundingRect(block);
            if (after.height() == before.height()) {
                emit updateBlock(block);
            } else {
                emit update(QRectF(0., -doc->documentMargin(), 1000000000., 1000000000.));
            }
            return;
        }
        QPlainTextDocumentLayout::documentChanged(from, removed, added);
        blockCount_ = doc->blockCount();
    }

    void wrapPiece(const QTextBlock& block) {
        QTextLayout* layout = block.layout();
        const qreal margin = document()->documentMargin();
        const int paneWidth = paintDevice() != nullptr ? paintDevice()->width() : 0;
        const qreal available = paneWidth > 0 ? paneWidth - 2 * margin : qreal(INT_MAX);
        if (layout->lineCount() > 0 && layout->textOption().wrapMode() != QTextOption::NoWrap &&
            layout->lineAt(0).width() == available)
            return;
        QTextOption option = document()->defaultTextOption();
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        option.setAlignment(block.blockFormat().alignment() & Qt::AlignHorizontal_Mask);
        layout->setTextOption(option);
        layout->beginLayout();
        qreal height = 0;
        for (;;) {
            QTextLine line = layout->createLine();
            if (!line.isValid()) break;
            line.setLeadingIncluded(true);
            line.setLineWidth(available);
            line.setPosition(QPointF(margin, height));
            height += line.height();
            if (line.leading() < 0) height += qCeil(line.leading());
        }
        layout->endLayout();
        piecesShown_ = true;
        const int lines = document()->lineCount();
        QTextBlock(block).setLineCount(block.isVisible() ? layout->lineCount() : 0);
        if (document()->lineCount() != lines) emit documentSizeChanged(documentSize());
    }

    mutable qreal widest_ = 0;
    mutable int measuredAt_ = -1;
    bool piecesShown_ = false;
    int blockCount_ = -1;
    mutable bool relaid_ = false;
    mutable bool resizedEarly_ = false;
    bool inChange_ = false;
};

// Closes a replacement's undo step. Qt joins text typed right after an insertion into the same
// undo step, so a key pressed at the end of a loaded file would otherwise be undone together with
// the load; an entry of another kind at the end keeps them apart.
class StepEnd : public QAbstractUndoItem {
public:
    void undo() override {}
    void redo() override {}
};

bool isBold(const QTextCharFormat& f) { return f.fontWeight() >= QFont::Bold; }
bool isItalic(const QTextCharFormat& f) { return f.fontItalic(); }
bool isUnderline(const QTextCharFormat& f) { return f.fontUnderline(); }
bool isStrike(const QTextCharFormat& f) { return f.fontStrikeOut(); }

}  // namespace

RichEditWidget::RichEditWidget(QWidget* parent) : QPlainTextEdit(parent) {
    // A screen reader reads a long line whole, as every other reader of the pane's text does.
    installPaneAccessible();
    auto* doc = new QTextDocument(this);
    auto* layout = new PaneDocumentLayout(doc);
    layout->setPaintDevice(viewport());
    doc->setDocumentLayout(layout);
    doc->setDefaultFont(font());
    setDocument(doc);
    setTabChangesFocus(false);
    // The selection shows only while the pane has the focus.
    QPalette pal = palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Inactive, QPalette::Base));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 pal.color(QPalette::Inactive, QPalette::Text));
    setPalette(pal);
    connect(document(), &QTextDocument::contentsChange, this, &RichEditWidget::onContentsChange);
}

void RichEditWidget::onContentsChange(int position, int removed, int added) {
    ++contentChanges_;
    if (formatting_ || (removed == 0 && added == 0)) return;
    editedFrom_ = editedFrom_ < 0 ? position : std::min(editedFrom_, position);
    editedTo_ = std::max(editedTo_, position + added);
    raiseChange();
}

bool RichEditWidget::nearLongLine() const {
    const QTextCursor cursor = textCursor();
    const QTextBlock block = cursor.block();
    return isPiece(block) || block.length() > kLongLine - 32 ||
           (cursor.hasSelection() && document()->findBlock(cursor.anchor()) != block);
}

template <typename F>
void RichEditWidget::editing(Step step, F&& edit) {
    editedFrom_ = editedTo_ = -1;
    const EditStart start = dropStart_.cursor.isNull() ? editStartOf(textCursor()) : dropStart_;
    // An edit that may split or join pieces is an edit block, so that one undo takes back both.
    // Qt merges keys typed one after another into one undo step only outside edit blocks; keys
    // typed on in a long line join the step of the one before instead.
    QTextCursor stepCursor(document());
    const bool own = step != Step::Plain;
    const bool typedOn = step == Step::Typing && contentChanges_ == typedChanges_ &&
                         textCursor().position() == typedEnd_ && !textCursor().hasSelection();
    if (own) typedOn ? stepCursor.joinPreviousEditBlock() : stepCursor.beginEditBlock();
    try {
        edit();
    } catch (...) {
        if (own) stepCursor.endEditBlock();
        editedFrom_ = editedTo_ = -1;
        throw;
    }
    // The document reports the edit's changes when its edit block ends; the pieces are restored
    // in a block joined to it.
    if (own) stepCursor.endEditBlock();
    if (editedFrom_ >= 0) {
        const int from = editedFrom_;
        const int to = editedTo_;
        editedFrom_ = editedTo_ = -1;
        // Joining and splitting pieces is no change of the text.
        formatOnly([&] {
            const QScopedValueRollback<bool> restoring(restoringPieces_, true);
            restorePieces(*document(), from, to, start);
        });
    }
    typedChanges_ = contentChanges_;
    typedEnd_ = step == Step::Typing ? textCursor().position() : -1;
}

void RichEditWidget::keyPressEvent(QKeyEvent* event) {
    // Undo and redo bring back the pieces as they were.
    if (event->matches(QKeySequence::Undo) || event->matches(QKeySequence::Redo)) {
        QPlainTextEdit::keyPressEvent(event);
        editedFrom_ = editedTo_ = -1;
        typedEnd_ = -1;
        return;
    }
    const bool typing = !event->text().isEmpty() && event->text().front().isPrint() &&
                        !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    const bool edits = !event->text().isEmpty() || event->key() == Qt::Key_Backspace ||
                       event->key() == Qt::Key_Delete || event->matches(QKeySequence::DeleteStartOfWord) ||
                       event->matches(QKeySequence::DeleteEndOfWord);
    const Step step = !edits || !nearLongLine() ? Step::Plain : typing ? Step::Typing : Step::Own;
    editing(step, [&] {
        if (!keyAtJoint(event)) QPlainTextEdit::keyPressEvent(event);
    });
}

bool RichEditWidget::keyAtJoint(QKeyEvent* event) {
    QTextCursor cursor = textCursor();
    const int position = cursor.position();
    const QTextBlock block = cursor.block();
    const bool atPieceStart = position == block.position() && continuesLine(block);
    const bool atPieceEnd = position == block.position() + block.length() - 1 && continuesLine(block.next());
    if (!atPieceStart && !atPieceEnd) return false;
    const bool plain = (event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier)) == 0;
    if (!cursor.hasSelection() && plain && event->key() == Qt::Key_Backspace && atPieceStart) {
        cursor.setPosition(position - 1);
        cursor.deletePreviousChar();
    } else if (!cursor.hasSelection() && event->matches(QKeySequence::Delete) && atPieceEnd) {
        cursor.setPosition(position + 1);
        cursor.deleteChar();
    } else if (!cursor.hasSelection() && event->matches(QKeySequence::DeleteStartOfWord) && atPieceStart) {
        cursor.setPosition(position - 1);
        cursor.movePosition(QTextCursor::PreviousWord, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    } else if (!cursor.hasSelection() && event->matches(QKeySequence::DeleteEndOfWord) && atPieceEnd) {
        cursor.setPosition(position + 1);
        cursor.movePosition(QTextCursor::NextWord, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    } else if ((event->matches(QKeySequence::MoveToNextWord) ||
                event->matches(QKeySequence::SelectNextWord)) &&
               atPieceEnd) {
        const auto mode =
            event->matches(QKeySequence::SelectNextWord) ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor;
        cursor.movePosition(QTextCursor::NextCharacter, mode);
        cursor.movePosition(QTextCursor::NextWord, mode);
    } else if ((event->matches(QKeySequence::MoveToPreviousWord) ||
                event->matches(QKeySequence::SelectPreviousWord)) &&
               atPieceStart) {
        const auto mode = event->matches(QKeySequence::SelectPreviousWord) ? QTextCursor::KeepAnchor
                                                                           : QTextCursor::MoveAnchor;
        cursor.movePosition(QTextCursor::PreviousCharacter, mode);
        cursor.movePosition(QTextCursor::PreviousWord, mode);
    } else if (event->matches(QKeySequence::MoveToNextChar) || event->matches(QKeySequence::SelectNextChar)) {
        // From the end of a piece past the first character of the next.
        if (!atPieceEnd || (cursor.hasSelection() && event->matches(QKeySequence::MoveToNextChar)))
            return false;
        const auto mode =
            event->matches(QKeySequence::SelectNextChar) ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor;
        cursor.movePosition(QTextCursor::NextCharacter, mode, 2);
    } else if (event->matches(QKeySequence::MoveToPreviousChar) ||
               event->matches(QKeySequence::SelectPreviousChar)) {
        if (!atPieceStart || (cursor.hasSelection() && event->matches(QKeySequence::MoveToPreviousChar)))
            return false;
        const auto mode = event->matches(QKeySequence::SelectPreviousChar) ? QTextCursor::KeepAnchor
                                                                           : QTextCursor::MoveAnchor;
        cursor.movePosition(QTextCursor::PreviousCharacter, mode, 2);
    } else {
        return false;
    }
    setTextCursor(cursor);
    ensureCursorVisible();
    return true;
}

void RichEditWidget::inputMethodEvent(QInputMethodEvent* event) {
    editing(nearLongLine() ? Step::Own : Step::Plain, [&] { QPlainTextEdit::inputMethodEvent(event); });
}

namespace {

// The plain text that outside data brings, or nothing. Qt 6.4's text control reads the first of
// the data's formats without asking whether there is one, and the X clipboard and primary
// selection that nobody owns hand it data with no format at all; data without text (a picture)
// or whose owner went away brings nothing either.
QString pastedText(const QMimeData* source) {
    if (source == nullptr || !source->hasText()) return {};
    return source->text();
}

}  // namespace

bool RichEditWidget::canInsertFromMimeData(const QMimeData* source) const {
    return !pastedText(source).isEmpty();
}

void RichEditWidget::insertFromMimeData(const QMimeData* source) {
    const QString text = pastedText(source);
    if (text.isEmpty()) return;
    // Qt's control gets the text alone, in data of our own that surely has a format.
    QMimeData plain;
    plain.setText(text);
    editing(Step::Own, [&] { QPlainTextEdit::insertFromMimeData(&plain); });
}

void RichEditWidget::dropEvent(QDropEvent* event) {
    // A move within the pane takes the selection out before it inserts what it drops.
    dropStart_ = editStartOf(textCursor());
    QPlainTextEdit::dropEvent(event);
    dropStart_ = {};
}

QString RichEditWidget::selectedLineText() const {
    const QTextCursor cursor = textCursor();
    const QString text = cursor.selectedText();
    if (text.isEmpty()) return text;
    return withoutJoints(text, cursor.selectionStart(),
                         jointsIn(*document(), cursor.selectionStart(), cursor.selectionEnd()));
}

QMimeData* RichEditWidget::createMimeDataFromSelection() const {
    const QTextCursor cursor = textCursor();
    if (jointsIn(*document(), cursor.selectionStart(), cursor.selectionEnd()).empty())
        return QPlainTextEdit::createMimeDataFromSelection();
    // As Qt's own plain text of a selection, with each line whole.
    QString text = selectedLineText();
    text.replace(QChar::ParagraphSeparator, u'\n');
    text.replace(QChar::LineSeparator, u'\n');
    text.replace(QChar::Nbsp, u' ');
    auto* data = new QMimeData;
    data->setText(text);
    return data;
}

template <typename F>
void RichEditWidget::formatOnly(F&& apply) {
    formatting_ = true;
    try {
        apply();
    } catch (...) {
        formatting_ = false;
        throw;
    }
    formatting_ = false;
}

// The earlier content is removed, not cleared: the document keeps its characters and formats in its
// own buffer for the undo step, so nothing is copied, and the new text is held once.
void RichEditWidget::replaceContent(const std::function<void(QTextCursor&)>& fill) {
    QTextDocument* doc = document();
    formatOnly([&] {
        QTextCursor cursor(doc);
        cursor.beginEditBlock();
        try {
            cursor.select(QTextCursor::Document);
            cursor.removeSelectedText();
            // What is left is one empty paragraph, which keeps the formats it had: the new content
            // starts from the pane's own.
            cursor.setBlockFormat(QTextBlockFormat());
            cursor.setBlockCharFormat(QTextCharFormat());
            cursor.setCharFormat(QTextCharFormat());
            fill(cursor);
        } catch (...) {
            cursor.endEditBlock();
            throw;
        }
        doc->appendUndoItem(new StepEnd);
        cursor.endEditBlock();
    });
    setTextCursor(QTextCursor(doc));
}

void RichEditWidget::setText(const std::string& text) {
    replaceContent(
        [&text](QTextCursor& cursor) { insertWithPieces(cursor, fromUtf8(text), QTextBlockFormat()); });
    raiseChange();
}

void RichEditWidget::loadPlainText(const std::string& text) {
    replaceContent(
        [&text](QTextCursor& cursor) { insertWithPieces(cursor, fromUtf8(text), QTextBlockFormat()); });
    raiseChange();
}

void RichEditWidget::loadRichText(const RichDocument& document) {
    replaceContent([&document](QTextCursor& cursor) {
        // Runs refer to the document's formats by index, so the load is linear in the number of
        // runs however many formats there are. Each format is made for Qt when a run first uses
        // it, and from then on the document's own copy stands for it: Qt keeps every distinct
        // format with its resolved font, about a kilobyte, and holds it only once that way.
        std::vector<QTextCharFormat> formats(document.formats.size());
        std::vector<bool> made(document.formats.size());
        std::vector<QStringList> families(document.fonts.size());
        for (std::size_t i = 0; i < families.size(); ++i)
            families[i] = QStringList{fromUtf8(document.fonts[i])};
        const auto qtFormatOf = [&](std::uint32_t index) -> const QTextCharFormat& {
            if (!made.at(index)) {
                const CharFormat& format = document.formats[index];
                const bool named =
                    format.font >= 0 && static_cast<std::size_t>(format.font) < families.size();
                formats[index] = toQtFormat(
                    format, named ? families[static_cast<std::size_t>(format.font)] : QStringList());
            }
            return formats[index];
        };
        bool first = true;
        for (const Paragraph& paragraph : document.paragraphs) {
            QTextBlockFormat blockFormat;
            blockFormat.setAlignment(toQtAlignment(paragraph.alignment));
            if (first) {
                cursor.setBlockFormat(blockFormat);
                first = false;
            } else {
                cursor.insertBlock(blockFormat);
            }
            std::string_view text = paragraph.text;
            // A long paragraph goes in pieces, as a long line of a plain file does.
            const bool inPieces = utf16Length(text) > kLongLine;
            const QTextBlockFormat later = pieceFormat(blockFormat);
            qsizetype column = 0;
            for (const TextRun& run : paragraph.runs) {
                const QString part = fromUtf8(text.substr(0, run.length));
                const QTextCharFormat& format = qtFormatOf(run.format);
                qsizetype done = 0;
                while (inPieces && part.size() - done > kPieceLength - column) {
                    qsizetype cut = done + (kPieceLength - column);
                    if (part[cut].isLowSurrogate()) --cut;
                    if (cut > done) cursor.insertText(part.mid(done, cut - done), format);
                    cursor.insertBlock(later);
                    column = 0;
                    done = cut;
                }
                cursor.insertText(done == 0 ? part : part.mid(done), format);
                column += part.size() - done;
                text.remove_prefix(run.length);
                if (!made[run.format]) {
                    formats[run.format] = cursor.charFormat();
                    made[run.format] = true;
                }
            }
        }
    });
    raiseChange();
}

std::string RichEditWidget::plainText() const {
    const QString text = document()->toRawText();
    const std::vector<int> joints = jointsIn(*document(), 0, static_cast<int>(text.size()));
    return toFileText(joints.empty() ? text : withoutJoints(text, 0, joints));
}

void RichEditWidget::writePlainText(const std::function<void(std::string_view)>& sink) const {
    // The document's own copy of its characters is the quickest way to them: reading them a
    // stretch at a time through a cursor costs four times as much.
    const QString text = document()->toRawText();
    forEachStretch(text, 0, jointsIn(*document(), 0, static_cast<int>(text.size())),
                   [&sink](QStringView stretch) { convertToFileText(stretch, sink); });
}

// The joints are no characters: the caret counts the characters before it.
long RichEditWidget::caretPosition() const {
    const int position = textCursor().position();
    return position - static_cast<long>(jointsIn(*document(), 0, position).size());
}

void RichEditWidget::setCaretPosition(long position) {
    const int end = document()->characterCount() - 1;
    long at = std::clamp<long>(position, 0, end);
    for (const int joint : jointsIn(*document(), 0, end)) {
        if (joint >= at) break;
        ++at;
    }
    QTextCursor cursor = textCursor();
    cursor.setPosition(static_cast<int>(std::min<long>(at, end)));
    setTextCursor(cursor);
}

std::string RichEditWidget::selText() const { return toFileText(selectedLineText()); }

void RichEditWidget::setSelText(const std::string& text) {
    editing(Step::Own, [&] {
        QTextCursor cursor = textCursor();
        cursor.insertText(fromUtf8(text));
        setTextCursor(cursor);
    });
}

long RichEditWidget::selLength() const {
    const QTextCursor cursor = textCursor();
    const auto joints = jointsIn(*document(), cursor.selectionStart(), cursor.selectionEnd());
    return cursor.selectionEnd() - cursor.selectionStart() - static_cast<long>(joints.size());
}

// Whether a style holds over the whole selection, none of it, or part of it. With no selection
// the answer is the format that typing at the caret would get.
Tristate RichEditWidget::selectionHas(bool (*test)(const QTextCharFormat&)) const {
    const QTextCursor cursor = textCursor();
    if (!cursor.hasSelection()) return test(cursor.charFormat()) ? Tristate::True : Tristate::False;
    const int start = cursor.selectionStart();
    const int end = cursor.selectionEnd();
    bool seenOn = false;
    bool seenOff = false;
    for (QTextBlock block = document()->findBlock(start); block.isValid() && block.position() < end;
         block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.position() + fragment.length() <= start || fragment.position() >= end) continue;
            (test(fragment.charFormat()) ? seenOn : seenOff) = true;
            if (seenOn && seenOff) return Tristate::Mixed;
        }
    }
    return seenOn ? Tristate::True : Tristate::False;
}

std::string RichEditWidget::selFontName() const {
    const QStringList families = textCursor().charFormat().fontFamilies().toStringList();
    return families.isEmpty() ? font().family().toStdString() : families.first().toStdString();
}

void RichEditWidget::setSelFontName(const std::string& name) {
    formatOnly([&] {
        QTextCharFormat format;
        format.setFontFamilies({fromUtf8(name)});
        mergeCurrentCharFormat(format);
    });
}

float RichEditWidget::selFontSize() const {
    const double size = textCursor().charFormat().fontPointSize();
    return static_cast<float>(size > 0 ? size : font().pointSizeF());
}

void RichEditWidget::setSelFontSize(float points) {
    if (!(points > 0)) throw PlatformError("设置字号", "字号必须大于 0");
    formatOnly([&] {
        QTextCharFormat format;
        format.setFontPointSize(points);
        mergeCurrentCharFormat(format);
    });
}

Tristate RichEditWidget::selBold() const { return selectionHas(&isBold); }
Tristate RichEditWidget::selItalic() const { return selectionHas(&isItalic); }
Tristate RichEditWidget::selUnderline() const { return selectionHas(&isUnderline); }
Tristate RichEditWidget::selStrikeThru() const { return selectionHas(&isStrike); }

void RichEditWidget::setSelBold(Tristate value) {
    formatOnly([&] {
        QTextCharFormat format;
        format.setFontWeight(value == Tristate::False ? QFont::Normal : QFont::Bold);
        mergeCurrentCharFormat(format);
    });
}

void RichEditWidget::setSelItalic(Tristate value) {
    formatOnly([&] {
        QTextCharFormat format;
        format.setFontItalic(value != Tristate::False);
        mergeCurrentCharFormat(format);
    });
}

void RichEditWidget::setSelUnderline(Tristate value) {
    formatOnly([&] {
        QTextCharFormat format;
        format.setFontUnderline(value != Tristate::False);
        mergeCurrentCharFormat(format);
    });
}

void RichEditWidget::setSelStrikeThru(Tristate value) {
    formatOnly([&] {
        QTextCharFormat format;
        format.setFontStrikeOut(value != Tristate::False);
        mergeCurrentCharFormat(format);
    });
}

std::int32_t RichEditWidget::selColor() const {
    const QTextCharFormat format = textCursor().charFormat();
    return toColorValue(format.hasProperty(QTextFormat::ForegroundBrush) ? format.foreground().color()
                                                                         : palette().color(QPalette::Text));
}

void RichEditWidget::setSelColor(std::int32_t color) {
    formatOnly([&] {
        QTextCharFormat format;
        format.setForeground(fromColorValue(color));
        mergeCurrentCharFormat(format);
    });
}

std::int16_t RichEditWidget::selAlignment() const {
    const Qt::Alignment alignment = textCursor().blockFormat().alignment();
    if (alignment & Qt::AlignRight) return 1;
    if (alignment & Qt::AlignHCenter) return 2;
    return 0;
}

void RichEditWidget::setSelAlignment(std::int16_t code) {
    Qt::Alignment alignment;
    switch (code) {
        case 0:
            alignment = Qt::AlignLeft | Qt::AlignAbsolute;
            break;
        case 1:
            alignment = Qt::AlignRight | Qt::AlignAbsolute;
            break;
        case 2:
            alignment = Qt::AlignHCenter;
            break;
        default:
            throw PlatformError("设置对齐方式", "未知的对齐代码 " + std::to_string(code));
    }
    formatOnly([&] {
        QTextBlockFormat format;
        format.setAlignment(alignment);
        // Every piece of each line the selection touches.
        const QTextCursor selection = textCursor();
        QTextBlock first = document()->findBlock(selection.selectionStart());
        while (continuesLine(first)) first = first.previous();
        QTextBlock last = document()->findBlock(selection.selectionEnd());
        while (continuesLine(last.next())) last = last.next();
        QTextCursor lines(document());
        lines.setPosition(first.position());
        lines.setPosition(last.position(), QTextCursor::KeepAnchor);
        lines.mergeBlockFormat(format);
    });
}

void RichEditWidget::selPrint(Printer& printer) {
    Printer::Device* device = printer.device();
    if (device == nullptr) throw PlatformError("打印", "没有选定打印机");
    // Each line is printed whole, its pieces joined again, and wrapped at the page's width as a
    // printed selection always was: the pane's own text option, no wrapping, would cut a long
    // line off at the page's edge.
    const QTextCursor cursor = textCursor();
    std::unique_ptr<QTextDocument> printed;
    if (cursor.hasSelection()) {
        printed = std::make_unique<QTextDocument>();
        printed->setDefaultFont(document()->defaultFont());
        printed->setUndoRedoEnabled(false);
        QTextCursor(printed.get()).insertFragment(QTextDocumentFragment(cursor));
    } else {
        // A copy: Qt's print of the pane's own document would copy the colours the pane shows its
        // code in (qt/code_colouring.h), which are for the screen only.
        printed.reset(document()->clone());
        printed->setUndoRedoEnabled(false);
    }
    QTextOption option = printed->defaultTextOption();
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    printed->setDefaultTextOption(option);
    joinPieces(*printed);
    printed->print(&device->printer);
}

int RichEditWidget::heightTwips() const { return toTwips(height(), this); }

void RichEditWidget::setHeightTwips(int twips) { resize(width(), toPixels(twips, this)); }

void RichEditWidget::setWordWrapOff() { setLineWrapMode(QPlainTextEdit::NoWrap); }

}  // namespace corvane::qt
