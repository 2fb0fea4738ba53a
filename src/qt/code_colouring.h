#pragma once

#include <QObject>
#include <QRegion>
#include <QTextBlock>
#include <QTextCharFormat>
#include <array>

#include "syntax/code_lexer.h"

class QPlainTextEdit;
class QWidget;

namespace corvane::qt {

// Colours the code a pane shows, for the screen only. The colours are the layout's additional
// formats of each paragraph (QTextLayout::setFormats), never the document's: a file, the
// clipboard, a print and the preview get the characters and the formats the user set, and
// colouring is never a change of the pane.
//
// It works only on what is shown: just before the pane paints, each paragraph on screen is lexed
// from the state at its start, which is the state at the end of the paragraph before. Those end
// states are kept in QTextBlock::userState, known from the first paragraph up to a frontier; the
// paragraphs between the frontier and the first one shown are lexed for their states alone, which
// is the only work a jump far down costs. An edit moves the frontier back to the edited paragraph,
// and the end states below it stay good again as soon as one of them comes out as before.
class CodeColouring : public QObject {
    Q_OBJECT
public:
    CodeColouring(QPlainTextEdit* edit, CodeLanguage language);

    // The colouring of a pane, or null when it has none.
    static CodeColouring* of(const QPlainTextEdit* edit);

    // Off, the pane shows its text as it did before it had colouring (for comparing the two).
    void setEnabled(bool enabled);
    bool isEnabled() const { return enabled_; }

    // Whether new panes colour their code: yes unless CORVANE_CODE_COLOURS=0.
    static bool wantedByDefault();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void onContentsChange(int position, int removed, int added);
    // Colours a paragraph that a key changed before the pane lays it out.
    void onLayingOut(int position, int removed, int added);
    // Colours the paragraphs from the first shown down to the bottom of the viewport, of which
    // `painted` is being painted now.
    void colourShown(const QRegion& painted);
    // Returns whether the paragraph's colours changed.
    // `noteChange` tells the document that the paragraph looks different: not needed where the
    // paragraph is about to be laid out anyway.
    bool colourBlock(QTextBlock& block, int number, int startState, bool noteChange = true);
    // The state at the start of paragraph `number`, lexing forward from the frontier as far as needed.
    int stateBefore(const QTextBlock& block, int number);
    void recordEndState(QTextBlock& block, int number, int endState);
    void clearColours();
    void takePalette();

    QPlainTextEdit* edit_;
    QWidget* viewport_;
    CodeLanguage language_;
    bool enabled_ = true;
    // Paragraphs with a number below knownUpTo_ hold their end state in userState. Those in
    // [resyncFrom_, resyncTo_) held good end states before the last edit above them: once one of
    // them ends as before, all of them hold again.
    int knownUpTo_ = 0;
    int resyncFrom_ = 0;
    int resyncTo_ = 0;
    int blockCount_ = 1;
    // Paragraphs coloured in an earlier generation (another palette, or colouring turned off and
    // on again) are coloured again when next shown.
    int generation_ = 0;
    std::array<QTextCharFormat, kCodeTokenCount> formats_;
};

// Whether a line of the text ends with `block`: the lexer ends a "//" comment or an unquoted
// attribute value there.
bool endsLine(const QTextBlock& block);

}  // namespace corvane::qt
