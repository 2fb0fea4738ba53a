#pragma once

#include <QObject>
#include <QString>
#include <QStringView>
#include <QTextCursor>
#include <QTextFormat>
#include <functional>
#include <vector>

class QKeyEvent;
class QPlainTextEdit;
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
// Where the line [start, end) of `text` is cut into pieces: every piece's end but the last's.
std::vector<int> pieceBreaks(QStringView text, int start, int end);
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

// The one owner of the long lines of a pane: it splits and joins their pieces after each edit,
// lays them out wrapped at the pane's width (with the paragraph alignment the plain-text layout
// leaves out), decides what keys and undo do at a joint, and keeps a map of the joints so that everyone else
// reads and edits the pane's text as a file holds it, by offsets without joints.
//
// The map is the sorted document positions of the joints, brought up to date by each change of
// the document before anyone else hears of it: a query is a binary search; an edit moves the
// joints after it. Its own splitting and joining, and formatting, are no change of the text:
// `edited` reports only the rest, and `restructuring()` says which is under way to those that
// hear of changes from Qt itself (the accessibility bridge).
class LongLines : public QObject {
    Q_OBJECT
public:
    // Attaches to the pane's document before the pane is given it, so that the map is up to date
    // before anyone else hears of a change.
    LongLines(QPlainTextEdit* pane, QTextDocument* document);

    // The owner of a pane's long lines, or null for another widget.
    static LongLines* of(const QObject* pane);

    // ----- offsets of the text without joints -------------------------------------------------
    // The offset of a document position, and the document position of the character at an offset
    // (after the joint, when the offset is at one).
    int offsetOf(int position) const;
    int positionOf(int offset) const;
    // The number of characters of the text, its last line end not counted.
    int characterCount() const;
    // The document positions of every joint, in order.
    const std::vector<int>& joints() const { return joints_; }
    // The number of joints in [from, to), document positions.
    int jointsBetween(int from, int to) const;
    // The first block of a line (0 for the first), or the last block for a line past the end.
    QTextBlock firstBlockOfLine(int line) const;
    // The text between two document positions, line breaks as "\n".
    QString text(int from, int to) const;
    // `text`, which starts at document position `offset`, without its joints, a stretch at a time.
    void forEachStretch(QStringView text, int offset, const std::function<void(QStringView)>& stretch) const;
    QString withoutJoints(QStringView text, int offset) const;
    // Replaces the text between two offsets with `text` as the person's own edit would: in one undo
    // step with the splitting and joining it calls for; the caret ends after it.
    void replace(int fromOffset, int toOffset, const QString& text);
    // Replaces the pane's selection with `text` the same way.
    void replaceSelection(const QString& text);

    // ----- edits -------------------------------------------------------------------------------
    // How an edit's undo step is made. Plain: Qt's own (the edit is nowhere near a long line);
    // Own: a step of its own, with the pieces restored after it; Typing: the step of the key typed
    // just before, when this key follows it.
    enum class Step { Plain, Own, Typing };
    // Runs an edit of the pane, then restores the pieces of the lines it touched.
    void edit(Step step, const std::function<void()>& edit);
    // The step a person's key press makes at the caret.
    Step stepOfKey(const QKeyEvent* event) const;
    // The step an input method's text makes at the caret.
    Step stepOfInput() const;
    // A person's key press at a joint acts on the characters on either side of it: the joint is no
    // character. Returns whether it did.
    bool keyAtJoint(QKeyEvent* event);
    // Undo and redo bring back the pieces as they were; keys typed after them start a new step.
    void undoRedo(const std::function<void()>& act);
    // A drop that moves the selection takes it out before it inserts what it drops.
    void drop(const std::function<void()>& act);
    // Runs a change of formats alone: no change of the text.
    void formatOnly(const std::function<void()>& apply);
    // Whether the pieces are being split or joined now (a change of the document that is none of
    // the text).
    bool restructuring() const { return restructuring_; }
    // Whether a change of formats alone is under way (a load that replaces the whole text runs
    // as one, too).
    bool formatting() const { return formatting_; }

signals:
    // A change of the text, in document positions as QTextDocument::contentsChange has it.
    void edited(int position, int removed, int added);
    // The pieces of the lines between two document positions were split or joined again.
    void restructured(int from, int to);
    // The pane's layout is about to lay out the paragraphs a change of the document touched (after
    // contentsChange). What changes how they look, the colouring, is best done now: they are then
    // laid out once. The document takes no note of a change of their layout's formats made here.
    void layingOut(int position, int removed, int added);

private:
    void onContentsChange(int position, int removed, int added);
    void rescan(int from, int to, std::vector<int>& found) const;
    // Whether an edit at the caret may split or join pieces.
    bool nearLongLine() const;
    // Whether the document positions [from, to] an edit touched lie in one line that is neither
    // long nor in pieces: then there is nothing to split or join after it.
    bool withinShortLine(int from, int to, const EditStart& start) const;

    QPlainTextEdit* pane_;
    QTextDocument* document_;
    std::vector<int> joints_;
    bool formatting_ = false;
    bool restructuring_ = false;
    EditStart dropStart_;
    // The range that the edits since the last restore touched, or -1.
    int editedFrom_ = -1;
    int editedTo_ = -1;
    // Counts every change of the document, to tell whether a key follows the one typed before.
    long contentChanges_ = 0;
    long typedChanges_ = -1;
    int typedEnd_ = -1;
};

}  // namespace corvane::qt
