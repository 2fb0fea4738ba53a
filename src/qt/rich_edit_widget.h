#pragma once

#include <QPlainTextEdit>

#include "platform/rich_edit.h"

namespace corvane::qt {

class LongLines;

// A code pane. Only changes of the characters raise the change event: formatting never reaches
// a file, so it never marks a pane unsaved.
//
// It is a QPlainTextEdit, not a QTextEdit: a QTextEdit's layout places every paragraph below the
// caret again on each keystroke, which costs about 0.1 s a key near the top of a 10 MB file. The
// plain-text layout lays out only the paragraphs on screen, and keeps character formats; the
// paragraph alignment it ignores is put back by the layout of the pane's long lines (qt/long_lines.h).
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
    // Puts the caret at the start of line `line` (from 1) of the text, the pieces of a long line
    // counting as one line, and shows it.
    void moveCaretToLine(int line);

    // A strip below the text for a bar of the pane's own, so that the bar covers no line.
    void reserveBottom(int pixels) { setViewportMargins(0, 0, 0, pixels); }

protected:
    // Every way a person edits ends in one of these; each hands the edit to the pane's long lines,
    // which put the lines back in pieces after it, in the edit's own undo step.
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    // Outside data (paste, middle click, drop) brings its plain text or nothing.
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
    void dropEvent(QDropEvent* event) override;
    // The clipboard gets a line whole, without the joints between its pieces.
    QMimeData* createMimeDataFromSelection() const override;

private:
    // Replaces the whole content with what `fill` inserts at the cursor it is given, as one step
    // that one undo takes back.
    void replaceContent(const std::function<void(QTextCursor&)>& fill);
    Tristate selectionHas(bool (*test)(const QTextCharFormat&)) const;
    // The selection's text with the joints dropped.
    QString selectedLineText() const;

    // The long lines of the pane, and their pieces (qt/long_lines.h).
    LongLines* lines_ = nullptr;
};

}  // namespace corvane::qt
