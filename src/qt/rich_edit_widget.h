#pragma once

#include <QPlainTextEdit>

#include "platform/rich_edit.h"
#include "qt/long_lines.h"

namespace corvane::qt {

// A code pane. Only changes of the characters raise the change event: formatting never reaches
// a file, so it never marks a pane unsaved.
//
// It is a QPlainTextEdit, not a QTextEdit: a QTextEdit's layout places every paragraph below the
// caret again on each keystroke, which costs about 0.1 s a key near the top of a 10 MB file. The
// plain-text layout lays out only the paragraphs on screen, and keeps character formats; the
// paragraph alignment it ignores is put back by the pane's own layout (rich_edit_widget.cpp).
class RichEditWidget : public QPlainTextEdit, public RichEdit {
    Q_OBJECT
public:
    explicit RichEditWidget(QWidget* parent = nullptr);

    void setText(const std::string& text) override;
    void loadPlainText(const std::string& text) override;
    void loadRichText(const RichDocument& document) override;
    std::string plainText() const override;
    void writePlainText(const std::function<void(std::string_view)>& sink) const override;

    long caretPosition() const override;
    void setCaretPosition(long position) override;

    std::string selText() const override;
    void setSelText(const std::string& text) override;
    long selLength() const override;

    std::string selFontName() const override;
    void setSelFontName(const std::string& name) override;
    float selFontSize() const override;
    void setSelFontSize(float points) override;
    Tristate selBold() const override;
    void setSelBold(Tristate value) override;
    Tristate selItalic() const override;
    void setSelItalic(Tristate value) override;
    Tristate selUnderline() const override;
    void setSelUnderline(Tristate value) override;
    Tristate selStrikeThru() const override;
    void setSelStrikeThru(Tristate value) override;
    std::int32_t selColor() const override;
    void setSelColor(std::int32_t color) override;
    std::int16_t selAlignment() const override;
    void setSelAlignment(std::int16_t code) override;

    void selPrint(Printer& printer) override;

    int heightTwips() const override;
    void setHeightTwips(int twips) override;
    void setWordWrapOff() override;

    // Whether the pane is splitting or joining the pieces of long lines after an edit: a change
    // of the document that is none of the text.
    bool restoringPieces() const { return restoringPieces_; }

protected:
    // Every way a person edits ends in one of these; each puts long lines back in pieces after
    // the edit, in the edit's own undo step (qt/long_lines.h).
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    // Outside data (paste, middle click, drop) brings its plain text or nothing.
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
    void dropEvent(QDropEvent* event) override;
    // The clipboard gets a line whole, without the joints between its pieces.
    QMimeData* createMimeDataFromSelection() const override;

private:
    // Runs a formatting change without reporting it as a change of content.
    template <typename F>
    void formatOnly(F&& apply);
    // Replaces the whole content with what `fill` inserts at the cursor it is given, as one step
    // that one undo takes back.
    void replaceContent(const std::function<void(QTextCursor&)>& fill);
    Tristate selectionHas(bool (*test)(const QTextCharFormat&)) const;
    void onContentsChange(int position, int removed, int added);
    // Runs an edit, then restores the pieces of the lines it touched. Plain: Qt's own undo step
    // (the edit is nowhere near a long line); Own: an undo step of its own; Typing: the step of
    // the key typed just before, when this key follows it.
    enum class Step { Plain, Own, Typing };
    template <typename F>
    void editing(Step step, F&& edit);
    // Whether an edit at the caret may split or join pieces.
    bool nearLongLine() const;
    // A person's key press at a joint acts on the characters on either side of it: the joint
    // itself is no character.
    bool keyAtJoint(QKeyEvent* event);
    // The selection's text with the joints dropped.
    QString selectedLineText() const;

    bool formatting_ = false;
    bool restoringPieces_ = false;
    // What the selection that a drop moves started at (qt/long_lines.h).
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
