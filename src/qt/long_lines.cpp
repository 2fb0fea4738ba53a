#include "qt/long_lines.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>

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
        const int length = static_cast<int>(text.size());
        std::vector<int> breaks;
        for (int start = 0; start < length;) {
            const int end = pieceEnd(text, start, length);
            if (end < length) breaks.push_back(end);
            start = end;
        }
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
            for (qsizetype start = lineStart; start < end;) {
                const qsizetype pieceStop = pieceEnd(all, static_cast<int>(start), static_cast<int>(end));
                if (start > lineStart) cursor.insertBlock(later);
                cursor.insertText(all.mid(start, pieceStop - start));
                start = pieceStop;
            }
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
