#include "qt/long_lines.h"

#include <QKeyEvent>
#include <QPlainTextDocumentLayout>
#include <QPlainTextEdit>
#include <QScopedValueRollback>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QtMath>
#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>

namespace corvane::qt {

namespace {

int lengthOf(const QTextBlock& block) { return block.length() - 1; }

// Joins and splits pieces through one cursor. The first change joins the edit that called for it,
// so that one undo takes both back; a caller that changes nothing leaves the undo stack alone.
class PieceEditor {
public:
    explicit PieceEditor(QTextDocument& document) : cursor_(&document) {}
    ~PieceEditor() {
        if (begun_) cursor_.endEditBlock();
    }
    PieceEditor(const PieceEditor&) = delete;
    PieceEditor& operator=(const PieceEditor&) = delete;

    QTextCursor& at(int position) {
        if (!begun_) {
            cursor_.joinPreviousEditBlock();
            begun_ = true;
        }
        cursor_.setPosition(position);
        return cursor_;
    }

    // Removes the joint at the end of the block that holds `position`.
    void joinNext(const QTextBlock& block) { at(block.position() + lengthOf(block)).deleteChar(); }

    // Cuts `block` into pieces; the first keeps the block's format.
    void split(const QTextBlock& block) {
        const QString text = block.text();
        const std::vector<int> breaks = pieceBreaks(text, 0, static_cast<int>(text.size()));
        const QTextBlockFormat later = pieceFormat(block.blockFormat());
        const int position = block.position();
        // From the back, so that each break is still where it was found.
        for (auto it = breaks.rbegin(); it != breaks.rend(); ++it) at(position + *it).insertBlock(later);
    }

private:
    QTextCursor cursor_;
    bool begun_ = false;
};

// Brings the line around the block at `position` back to the rule, looking at that block and at
// most a few of its neighbours.
void restoreAt(PieceEditor& editor, QTextDocument& document, int position) {
    const QTextBlock block = document.findBlock(position);
    if (!block.isValid()) return;
    const bool first = !continuesLine(block);
    const bool more = continuesLine(block.next());
    const int length = lengthOf(block);
    if (first && !more) {
        if (length > kLongLine) editor.split(block);
        return;
    }
    // A line of a few pieces that is no longer long becomes one block again.
    QTextBlock start = block;
    QTextBlock last = block;
    int total = length;
    for (int steps = 0; steps < 4 && continuesLine(start) && start.previous().isValid(); ++steps) {
        start = start.previous();
        total += lengthOf(start);
    }
    for (int steps = 0; steps < 4 && continuesLine(last.next()); ++steps) {
        last = last.next();
        total += lengthOf(last);
    }
    if (!continuesLine(start) && !continuesLine(last.next()) && total <= kLongLine) {
        std::vector<int> joints;
        for (QTextBlock b = start; b != last; b = b.next()) joints.push_back(b.position() + lengthOf(b));
        for (auto it = joints.rbegin(); it != joints.rend(); ++it) editor.at(*it).deleteChar();
        return;
    }
    if (length > 2 * kPieceLength) {
        editor.split(block);
    } else if (length < kPieceLength / 2) {
        const int merged = more ? block.position() : block.previous().position();
        editor.joinNext(document.findBlock(merged));
        const QTextBlock whole = document.findBlock(merged);
        if (lengthOf(whole) > 2 * kPieceLength) editor.split(whole);
    }
}

// The plain-text layout with paragraph alignment. Its own layout of a paragraph always uses the
// document's default alignment, so the paragraph's alignment is set on the laid-out paragraph
// whenever the view asks where a paragraph is: before it paints it, places the caret in it or
// finds the character under the mouse. A line then lines up within the pane's width, as in a
// QTextEdit without wrapping; a line wider than the pane starts at the left.
//
// The pieces of a long line are laid out again wrapped at the pane's width
// whenever the plain-text layout has laid them out in one line, and a change within a piece is
// laid out here at once, wrapped. Short lines are never wrapped. The width of the document is
// then that of its widest short line: the plain-text layout would count the pieces unwrapped.
class PaneDocumentLayout : public QPlainTextDocumentLayout {
public:
    using QPlainTextDocumentLayout::QPlainTextDocumentLayout;

    QRectF blockBoundingRect(const QTextBlock& block) const override {
        if (!block.isValid()) return QPlainTextDocumentLayout::blockBoundingRect(block);
        // The plain-text layout asks a changed paragraph's height before it lays the paragraph out;
        // when the colouring has just dropped its lines, the height it had is known already.
        if (inChange_ && block == heldBlock_ && block.layout()->lineCount() == 0) {
            heldBlock_ = QTextBlock();
            return heldRect_;
        }
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
                const qsizetype preedit =
                    layout->preeditAreaPosition() >= 0 ? layout->preeditAreaText().size() : 0;
                if (last.textStart() + last.textLength() != block.length() - 1 + preedit) {
                    linesBefore = layout->lineCount();
                    layout->clearLayout();
                    relaid_ = true;
                }
            }
        }
        const QTextBlockFormat format = block.blockFormat();
        const bool piece = format.boolProperty(kContinuesLine) || continuesLine(block.next());
        if (piece) const_cast<PaneDocumentLayout*>(this)->wrapPiece(block);
        QRectF rect = QPlainTextDocumentLayout::blockBoundingRect(block);
        QTextLayout* layout = block.layout();
        if (linesBefore >= 0 && layout->lineCount() != linesBefore) resizedEarly_ = true;
        const Qt::Alignment alignment = format.alignment() & Qt::AlignHorizontal_Mask;
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

    // A document wider than the pane grows half the pane's width at a time: the range of the
    // scroll bar then changes once in many keys typed in the widest line, not on every key, and a
    // change of it repaints both of the pane's scroll bars and the frame beneath them.
    QSizeF documentSize() const override {
        QSizeF size = QPlainTextDocumentLayout::documentSize();
        const qreal paneWidth = paintDevice() != nullptr ? paintDevice()->width() : 0;
        if (piecesShown_) size.setWidth(qMax(widest_, paneWidth));
        if (paneWidth > 0 && size.width() > paneWidth) {
            const qreal step = std::max(paneWidth / 2, qreal(1));
            size.setWidth(paneWidth + std::ceil((size.width() - paneWidth) / step) * step);
        }
        return size;
    }

    // Told of a change before it is laid out (qt/long_lines.h, LongLines::layingOut).
    std::function<void(int, int, int)> beforeLayout;

protected:
    void documentChanged(int from, int removed, int added) override {
        // Setting a paragraph's colours drops its lines. The plain-text layout would then lay a
        // paragraph changed by a key out twice: once to learn the height it had, once for the
        // new text. Its height is taken here, while its lines still hold the earlier text.
        heldBlock_ = changedWithin(from, removed + added);
        if (heldBlock_.isValid()) heldRect_ = QPlainTextDocumentLayout::blockBoundingRect(heldBlock_);
        if (beforeLayout) beforeLayout(from, removed, added);
        // Paragraphs laid out again before this report already look as they do after it.
        const QScopedValueRollback<bool> inChange(inChange_, true);
        changed(from, removed, added);
        heldBlock_ = QTextBlock();
        if (std::exchange(relaid_, false)) emit documentSizeChanged(documentSize());
        if (std::exchange(resizedEarly_, false)) {
            emit update(QRectF(0., -document()->documentMargin(), 1000000000., 1000000000.));
        }
    }

private:
    // The laid-out paragraph that a change of `length` characters at `from` lies within, or an
    // invalid block.
    QTextBlock changedWithin(int from, int length) const {
        const QTextDocument* doc = document();
        if (blockCount_ != doc->blockCount()) return {};
        const QTextBlock block = doc->findBlock(from);
        if (!block.isValid() || block.length() == 0 || block.layout()->lineCount() == 0 ||
            doc->findBlock(qMax(0, from + length - 1)) != block)
            return {};
        return block;
    }

    void changed(int from, int removed, int added) {
        QTextDocument* doc = document();
        if (from == 0 && added == doc->characterCount()) widest_ = 0;
        const QTextBlock block = doc->findBlock(from);
        if (blockCount_ == doc->blockCount() && block.isValid() && block.length() > 0 && isPiece(block) &&
            doc->findBlock(qMax(0, from + removed + added - 1)) == block) {
            // A change within one piece: laid out once, wrapped.
            const QRectF before = block == heldBlock_ ? heldRect_ : blockBoundingRect(block);
            heldBlock_ = QTextBlock();
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
    mutable QTextBlock heldBlock_;
    QRectF heldRect_;
};

bool isBreakAfter(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'>' || c == u';' || c == u',' || c == u'}' || c == u'{' ||
           c == u')';
}

}  // namespace

bool continuesLine(const QTextBlock& block) {
    return block.isValid() && block.blockFormat().boolProperty(kContinuesLine);
}

bool isPiece(const QTextBlock& block) { return continuesLine(block) || continuesLine(block.next()); }

std::vector<int> jointsIn(const QTextDocument& document, int from, int to) {
    std::vector<int> joints;
    // Which of the document's formats mark a later piece; most documents have none at all.
    const QList<QTextFormat> formats = document.allFormats();
    std::vector<bool> later(static_cast<std::size_t>(formats.size()));
    bool any = false;
    for (qsizetype i = 0; i < formats.size(); ++i) {
        if (formats[i].isBlockFormat() && formats[i].boolProperty(kContinuesLine)) {
            later[static_cast<std::size_t>(i)] = true;
            any = true;
        }
    }
    if (!any) return joints;
    for (QTextBlock block = document.findBlock(from).next(); block.isValid() && block.position() - 1 < to;
         block = block.next()) {
        const int index = block.blockFormatIndex();
        if (index >= 0 && static_cast<std::size_t>(index) < later.size() &&
            later[static_cast<std::size_t>(index)])
            joints.push_back(block.position() - 1);
    }
    return joints;
}

void forEachStretch(QStringView text, int offset, const std::vector<int>& joints,
                    const std::function<void(QStringView)>& stretch) {
    qsizetype done = 0;
    for (const int joint : joints) {
        const qsizetype at = joint - offset;
        if (at < done || at >= text.size()) continue;
        if (at > done) stretch(text.sliced(done, at - done));
        done = at + 1;
    }
    if (done < text.size()) stretch(text.sliced(done));
}

QString withoutJoints(QStringView text, int offset, const std::vector<int>& joints) {
    if (joints.empty()) return text.toString();
    QString out;
    out.reserve(text.size());
    forEachStretch(text, offset, joints, [&out](QStringView stretch) { out.append(stretch); });
    return out;
}

QTextBlockFormat pieceFormat(QTextBlockFormat format) {
    format.setProperty(kContinuesLine, true);
    return format;
}

int pieceEnd(QStringView text, int start, int end) {
    const int left = end - start;
    if (left <= kPieceLength) return end;
    const int at = start + (left <= kPieceLength + kPieceLength / 2 ? left / 2 : kPieceLength);
    for (int i = at; i > at - 64; --i) {
        if (isBreakAfter(text[i - 1].unicode()) && !text[i].isMark()) return i;
    }
    int cut = at;
    while (cut > start + 1 && (text[cut].isLowSurrogate() || text[cut].isMark())) --cut;
    return cut;
}

std::vector<int> pieceBreaks(QStringView text, int start, int end) {
    std::vector<int> breaks;
    for (int at = start; at < end;) {
        at = pieceEnd(text, at, end);
        if (at < end) breaks.push_back(at);
    }
    return breaks;
}

void insertWithPieces(QTextCursor& cursor, const QString& text, const QTextBlockFormat& lineFormat) {
    // A paragraph separator in the text starts a line as "\n" does, and is written to a file as "\n".
    QString copy;
    if (text.contains(QChar::ParagraphSeparator)) {
        copy = text;
        copy.replace(QChar::ParagraphSeparator, u'\n');
    }
    const QString& all = copy.isNull() ? text : copy;
    const QTextBlockFormat later = pieceFormat(lineFormat);
    const qsizetype length = all.size();
    qsizetype done = 0;
    for (qsizetype lineStart = 0; lineStart <= length;) {
        qsizetype end = all.indexOf(u'\n', lineStart);
        if (end < 0) end = length;
        if (end - lineStart > kLongLine) {
            if (lineStart > done) cursor.insertText(all.mid(done, lineStart - done));
            qsizetype start = lineStart;
            for (const int cut : pieceBreaks(all, static_cast<int>(lineStart), static_cast<int>(end))) {
                cursor.insertText(all.mid(start, cut - start));
                cursor.insertBlock(later);
                start = cut;
            }
            cursor.insertText(all.mid(start, end - start));
            if (end < length) cursor.insertBlock(lineFormat);
            done = end + 1;
        }
        lineStart = end + 1;
    }
    if (done < length) cursor.insertText(done == 0 ? all : all.mid(done));
}

EditStart editStartOf(const QTextCursor& cursor) {
    EditStart start;
    if (!cursor.hasSelection() || cursor.document() == nullptr) return start;
    const QTextBlock block = cursor.document()->findBlock(cursor.selectionStart());
    if (block.position() != cursor.selectionStart()) return start;
    start.cursor = QTextCursor(block);
    start.cursor.setKeepPositionOnInsert(true);
    start.continued = continuesLine(block);
    return start;
}

void restorePieces(QTextDocument& document, int from, int to, const EditStart& start) {
    const int last = std::max(0, document.characterCount() - 1);
    from = std::clamp(from, 0, last);
    to = std::clamp(to, from, last);
    PieceEditor editor(document);
    const auto setContinued = [&editor](const QTextBlock& block, bool continued) {
        QTextBlockFormat format = block.blockFormat();
        if (continued) {
            format.setProperty(kContinuesLine, true);
        } else {
            format.clearProperty(kContinuesLine);
        }
        editor.at(block.position()).setBlockFormat(format);
    };
    if (!start.cursor.isNull()) {
        const QTextBlock block = start.cursor.block();
        if (block.position() == start.cursor.position() && continuesLine(block) != start.continued)
            setContinued(block, start.continued);
    }
    // The document's first block continues nothing.
    if (continuesLine(document.firstBlock())) setContinued(document.firstBlock(), false);
    // A block that the edit started (Enter, a pasted line) begins a line of its own.
    for (QTextBlock block = document.findBlock(from).next(); block.isValid() && block.position() <= to;
         block = block.next()) {
        if (continuesLine(block)) setContinued(block, false);
    }
    // From the last block back to the first, so that a change at one moves none still to come.
    const int firstPosition = document.findBlock(from).position();
    int position = document.findBlock(to).position();
    for (;;) {
        const QTextBlock previous = document.findBlock(position).previous();
        const int previousPosition = previous.isValid() ? previous.position() : -1;
        restoreAt(editor, document, position);
        if (position <= firstPosition || previousPosition < 0) break;
        position = previousPosition;
    }
}

void joinPieces(QTextDocument& document) {
    const std::vector<int> joints = jointsIn(document, 0, document.characterCount());
    if (joints.empty()) return;
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    for (auto it = joints.rbegin(); it != joints.rend(); ++it) {
        cursor.setPosition(*it);
        cursor.deleteChar();
    }
    cursor.endEditBlock();
}

}  // namespace corvane::qt

namespace corvane::qt {

LongLines::LongLines(QPlainTextEdit* pane, QTextDocument* document)
    : QObject(pane), pane_(pane), document_(document) {
    auto* layout = new PaneDocumentLayout(document_);
    layout->beforeLayout = [this](int position, int removed, int added) {
        emit layingOut(position, removed, added);
    };
    layout->setPaintDevice(pane_->viewport());
    document_->setDocumentLayout(layout);
    connect(document_, &QTextDocument::contentsChange, this, &LongLines::onContentsChange);
    rescan(0, document_->characterCount(), joints_);
}

LongLines* LongLines::of(const QObject* pane) {
    return pane != nullptr ? pane->findChild<LongLines*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

// The joints whose positions lie in [from, to], in order.
void LongLines::rescan(int from, int to, std::vector<int>& found) const {
    for (QTextBlock block = document_->findBlock(std::max(from, 0)).next();
         block.isValid() && block.position() - 1 <= to; block = block.next()) {
        if (block.position() - 1 >= from && continuesLine(block)) found.push_back(block.position() - 1);
    }
}

void LongLines::onContentsChange(int position, int removed, int added) {
    ++contentChanges_;
    // The joints in what was replaced are gone, those after it move; the joint before it may have
    // come or gone with the format of the block the change starts.
    const auto first = std::lower_bound(joints_.begin(), joints_.end(), position - 1);
    const auto after = std::lower_bound(first, joints_.end(), position + removed);
    std::vector<int> found;
    rescan(position - 1, position + added - 1, found);
    const int delta = added - removed;
    for (auto it = after; it != joints_.end(); ++it) *it += delta;
    const auto at = joints_.erase(first, after);
    joints_.insert(at, found.begin(), found.end());
    if (formatting_ || restructuring_ || (removed == 0 && added == 0)) return;
    editedFrom_ = editedFrom_ < 0 ? position : std::min(editedFrom_, position);
    editedTo_ = std::max(editedTo_, position + added);
    emit edited(position, removed, added);
}

int LongLines::offsetOf(int position) const {
    return position -
           static_cast<int>(std::lower_bound(joints_.begin(), joints_.end(), position) - joints_.begin());
}

int LongLines::positionOf(int offset) const {
    // The joints before the position of an offset are those whose own offset is at most it: the
    // joint at position p has offset p - (its index).
    int low = 0;
    int high = static_cast<int>(joints_.size());
    const int target = std::max(offset, 0);
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (joints_[static_cast<std::size_t>(middle)] - middle <= target) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return std::min(target + low, document_->characterCount() - 1);
}

int LongLines::characterCount() const { return offsetOf(document_->characterCount() - 1); }

int LongLines::jointsBetween(int from, int to) const {
    if (to <= from) return 0;
    return static_cast<int>(std::lower_bound(joints_.begin(), joints_.end(), to) -
                            std::lower_bound(joints_.begin(), joints_.end(), from));
}

void LongLines::forEachStretch(QStringView text, int offset,
                               const std::function<void(QStringView)>& stretch) const {
    const auto first = std::lower_bound(joints_.begin(), joints_.end(), offset);
    const auto last = std::lower_bound(first, joints_.end(), offset + static_cast<int>(text.size()));
    qsizetype done = 0;
    for (auto it = first; it != last; ++it) {
        const qsizetype at = *it - offset;
        if (at > done) stretch(text.sliced(done, at - done));
        done = at + 1;
    }
    if (done < text.size()) stretch(text.sliced(done));
}

QString LongLines::withoutJoints(QStringView text, int offset) const {
    if (jointsBetween(offset, offset + static_cast<int>(text.size())) == 0) return text.toString();
    QString out;
    out.reserve(text.size());
    forEachStretch(text, offset, [&out](QStringView stretch) { out.append(stretch); });
    return out;
}

QTextBlock LongLines::firstBlockOfLine(int line) const {
    // The line of block k is k less the joints before it, which never falls as k grows: the
    // first block of a line is the least k whose line reaches it.
    const auto lineOfBlock = [this](int k) {
        return k - static_cast<int>(std::lower_bound(joints_.begin(), joints_.end(),
                                                     document_->findBlockByNumber(k).position()) -
                                    joints_.begin());
    };
    int low = 0;
    int high = document_->blockCount() - 1;
    if (lineOfBlock(high) < line) return document_->lastBlock();
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (lineOfBlock(middle) < line) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return document_->findBlockByNumber(low);
}

QString LongLines::text(int from, int to) const {
    if (to <= from) return {};
    QTextCursor cursor(document_);
    cursor.setPosition(from);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    QString text = withoutJoints(cursor.selectedText(), from);
    for (QChar& c : text) {
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator) c = u'\n';
    }
    return text;
}

void LongLines::replace(int fromOffset, int toOffset, const QString& text) {
    QTextCursor cursor = pane_->textCursor();
    cursor.setPosition(positionOf(fromOffset));
    cursor.setPosition(positionOf(toOffset), QTextCursor::KeepAnchor);
    pane_->setTextCursor(cursor);
    replaceSelection(text);
}

void LongLines::replaceSelection(const QString& text) {
    edit(Step::Own, [&] {
        QTextCursor cursor = pane_->textCursor();
        cursor.insertText(text);
        pane_->setTextCursor(cursor);
    });
}

void LongLines::formatOnly(const std::function<void()>& apply) {
    const QScopedValueRollback<bool> formatting(formatting_, true);
    apply();
}

bool LongLines::nearLongLine() const {
    const QTextCursor cursor = pane_->textCursor();
    const QTextBlock block = cursor.block();
    return isPiece(block) || block.length() > kLongLine - 32 ||
           (cursor.hasSelection() && document_->findBlock(cursor.anchor()) != block);
}

void LongLines::edit(Step step, const std::function<void()>& edit) {
    editedFrom_ = editedTo_ = -1;
    const EditStart start = dropStart_.cursor.isNull() ? editStartOf(pane_->textCursor()) : dropStart_;
    // An edit that may split or join pieces is an edit block, so that one undo takes back both.
    // Qt merges keys typed one after another into one undo step only outside edit blocks; keys
    // typed on in a long line join the step of the one before instead.
    QTextCursor stepCursor(document_);
    const bool own = step != Step::Plain;
    const bool typedOn = step == Step::Typing && contentChanges_ == typedChanges_ &&
                         pane_->textCursor().position() == typedEnd_ && !pane_->textCursor().hasSelection();
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
    if (editedFrom_ >= 0 && !withinShortLine(editedFrom_, editedTo_, start)) {
        const int from = editedFrom_;
        const int to = editedTo_;
        editedFrom_ = editedTo_ = -1;
        {
            const QScopedValueRollback<bool> restoring(restructuring_, true);
            restorePieces(*document_, from, to, start);
        }
        emit restructured(from, to);
    }
    editedFrom_ = editedTo_ = -1;
    typedChanges_ = contentChanges_;
    typedEnd_ = step == Step::Typing ? pane_->textCursor().position() : -1;
}

bool LongLines::withinShortLine(int from, int to, const EditStart& start) const {
    if (!start.cursor.isNull()) return false;
    const QTextBlock block = document_->findBlock(from);
    return block.isValid() && to < block.position() + block.length() && block.length() - 1 <= kLongLine &&
           !isPiece(block);
}

LongLines::Step LongLines::stepOfKey(const QKeyEvent* event) const {
    const bool typing = !event->text().isEmpty() && event->text().front().isPrint() &&
                        !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    const bool edits = !event->text().isEmpty() || event->key() == Qt::Key_Backspace ||
                       event->key() == Qt::Key_Delete || event->matches(QKeySequence::DeleteStartOfWord) ||
                       event->matches(QKeySequence::DeleteEndOfWord);
    return !edits || !nearLongLine() ? Step::Plain : typing ? Step::Typing : Step::Own;
}

bool LongLines::keyAtJoint(QKeyEvent* event) {
    QTextCursor cursor = pane_->textCursor();
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
    pane_->setTextCursor(cursor);
    pane_->ensureCursorVisible();
    return true;
}

LongLines::Step LongLines::stepOfInput() const { return nearLongLine() ? Step::Own : Step::Plain; }

void LongLines::undoRedo(const std::function<void()>& act) {
    act();
    editedFrom_ = editedTo_ = -1;
    typedEnd_ = -1;
}

void LongLines::drop(const std::function<void()>& act) {
    dropStart_ = editStartOf(pane_->textCursor());
    try {
        act();
    } catch (...) {
        dropStart_ = {};
        throw;
    }
    dropStart_ = {};
}

}  // namespace corvane::qt
