#pragma once

#include <QString>
#include <QStringView>
#include <QTextCursor>
#include <QTextFormat>
#include <functional>
#include <vector>

class QTextBlock;
class QTextBlockFormat;
class QTextDocument;

// Long lines in a pane. Qt lays out and shapes a whole paragraph again on every change of it, so
// a keystroke in a line of a megabyte costs a second. The pane therefore holds a line longer than
// kLongLine as several paragraphs ("pieces") of about kPieceLength characters; each piece after
// the first carries kContinuesLine in its block format. The paragraph separator before such a
// piece (a "joint") is no character of the text: every reader of the pane's text drops it.
namespace corvane::qt {

// Measured with editor_bench ("long line" rows): a key typed in a line held whole costs about
// 1.7 us a character of the line on top of what it costs in a short one (4 ms in a line of 1,980,
// against 0.6 ms in lines of 80), so a line of more than 1,000 characters is held in pieces; with
// pieces of 400 a key in a line of 1 or 10 MB costs 1 to 2 times a key in lines of 80 (pieces of
// 1,000 cost 2.5 to 4 times).
inline constexpr int kLongLine = 1000;
inline constexpr int kPieceLength = 400;
inline constexpr int kContinuesLine = QTextFormat::UserProperty + 0x17;

// Whether `block` is a later piece of the line that the block before it belongs to. False for an
// invalid block, so that `!continuesLine(block.next())` says whether `block` ends its line.
bool continuesLine(const QTextBlock& block);

// Whether `block` is one piece of a line held in pieces.
bool isPiece(const QTextBlock& block);

// The document positions of the joints in [from, to), in order.
std::vector<int> jointsIn(const QTextDocument& document, int from, int to);

// `text`, which starts at document position `offset`, handed on a stretch at a time without the
// joints among `joints`.
void forEachStretch(QStringView text, int offset, const std::vector<int>& joints,
                    const std::function<void(QStringView)>& stretch);
QString withoutJoints(QStringView text, int offset, const std::vector<int>& joints);

// The block format of a later piece of a line whose first block has `format`.
QTextBlockFormat pieceFormat(QTextBlockFormat format);

// Inserts `text` ("\n" or U+2029 between lines) at `cursor` with the cursor's formats, each line
// longer than kLongLine in pieces. `lineFormat` is the block format of a line's first block.
// Linear in the length of the text.
//
// pieceEnd says where a piece that starts at `start` of a line ending at `end` ends: about
// kPieceLength on, after a space or a mark of code when there is one near, never inside a
// surrogate pair or before a combining mark; what is left of the line, when it is no longer than
// a piece, or half of it, when it is no longer than one and a half.
int pieceEnd(QStringView text, int start, int end);
void insertWithPieces(QTextCursor& cursor, const QString& text, const QTextBlockFormat& lineFormat);

// Where an edit removes text from the start of a block, Qt gives that block the format of the
// block where the removed text ended: a line would become a later piece of the line above it, or
// a later piece a line of its own. EditStart, taken before the edit from the cursor that makes it,
// remembers what the block there was (`cursor` stays at the start of the removed text).
struct EditStart {
    QTextCursor cursor;
    bool continued = false;
};
EditStart editStartOf(const QTextCursor& cursor);

// Brings the lines that an edit of [from, to] touched back to the rule: a block that the edit
// started is a line of its own; the block where the edit removed text from its start is what it
// was; a line longer than kLongLine is in pieces, none of them much shorter or longer than
// kPieceLength; a line no longer long is one block again. Only the pieces near the edit are looked
// at, so typing in a long line costs what it costs in a short one.
void restorePieces(QTextDocument& document, int from, int to, const EditStart& start = {});

// Makes every line of `document` one block again (a copy of the pane's document, to print it).
void joinPieces(QTextDocument& document);

}  // namespace corvane::qt
