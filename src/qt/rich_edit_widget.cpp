#include "qt/rich_edit_widget.h"

#include <QAbstractUndoItem>
#include <QKeyEvent>
#include <QMimeData>
#include <QPrinter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/platform_error.h"
#include "qt/colors.h"
#include "qt/common_dialog_qt.h"
#include "qt/long_lines.h"
#include "qt/pane_accessible.h"
#include "qt/shown_glyphs.h"
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
    lines_ = new LongLines(this, doc);
    connect(lines_, &LongLines::edited, this, [this] { raiseChange(); });
    doc->setDefaultFont(font());
    setDocument(doc);
    new ShownGlyphs(this);
    setTabChangesFocus(false);
    // The three panes lie one on another. A pane that paints its own background is opaque to Qt,
    // so what is repainted in it (a scroll bar whose range a key changed) is painted there alone,
    // not in the panes beneath it and the window behind them as well: that was most of a key's cost.
    setAutoFillBackground(true);
    // The selection shows only while the pane has the focus; without it, it hides nothing drawn
    // under it (the find bar's highlights of the matches).
    QPalette pal = palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight, QColor(Qt::transparent));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 pal.color(QPalette::Inactive, QPalette::Text));
    setPalette(pal);
}

void RichEditWidget::keyPressEvent(QKeyEvent* event) {
    // No undo or redo key types a character: a character typed is not looked up among them.
    const bool typed = !event->text().isEmpty() && event->text().front().isPrint() &&
                       !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (!typed && (event->matches(QKeySequence::Undo) || event->matches(QKeySequence::Redo))) {
        lines_->undoRedo([&] { QPlainTextEdit::keyPressEvent(event); });
        return;
    }
    lines_->edit(lines_->stepOfKey(event), [&] {
        if (!lines_->keyAtJoint(event)) QPlainTextEdit::keyPressEvent(event);
    });
}

void RichEditWidget::inputMethodEvent(QInputMethodEvent* event) {
    lines_->edit(lines_->stepOfInput(), [&] { QPlainTextEdit::inputMethodEvent(event); });
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
    lines_->edit(LongLines::Step::Own, [&] { QPlainTextEdit::insertFromMimeData(&plain); });
}

void RichEditWidget::dropEvent(QDropEvent* event) {
    lines_->drop([&] { QPlainTextEdit::dropEvent(event); });
}

QString RichEditWidget::selectedLineText() const {
    const QTextCursor cursor = textCursor();
    const QString text = cursor.selectedText();
    if (text.isEmpty()) return text;
    return lines_->withoutJoints(text, cursor.selectionStart());
}

QMimeData* RichEditWidget::createMimeDataFromSelection() const {
    const QTextCursor cursor = textCursor();
    if (lines_->jointsBetween(cursor.selectionStart(), cursor.selectionEnd()) == 0)
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

// The earlier content is removed, not cleared: the document keeps its characters and formats in its
// own buffer for the undo step, so nothing is copied, and the new text is held once.
void RichEditWidget::replaceContent(const std::function<void(QTextCursor&)>& fill) {
    QTextDocument* doc = document();
    lines_->formatOnly([&] {
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
            // Each run's text; a long paragraph goes in pieces, cut where a long line of a plain
            // file is cut.
            std::string_view text = paragraph.text;
            std::vector<QString> parts;
            parts.reserve(paragraph.runs.size());
            for (const TextRun& run : paragraph.runs) {
                parts.push_back(fromUtf8(text.substr(0, run.length)));
                text.remove_prefix(run.length);
            }
            std::vector<int> breaks;
            if (paragraph.text.size() > static_cast<std::size_t>(kLongLine)) {
                QString line;
                for (const QString& part : parts) line += part;
                if (line.size() > kLongLine) breaks = pieceBreaks(line, 0, static_cast<int>(line.size()));
            }
            const QTextBlockFormat later = pieceFormat(blockFormat);
            auto nextBreak = breaks.begin();
            qsizetype column = 0;
            for (std::size_t i = 0; i < parts.size(); ++i) {
                const QString& part = parts[i];
                const std::uint32_t index = paragraph.runs[i].format;
                const QTextCharFormat& format = qtFormatOf(index);
                qsizetype done = 0;
                for (; nextBreak != breaks.end() && *nextBreak < column + part.size(); ++nextBreak) {
                    const qsizetype cut = *nextBreak - column;
                    if (cut > done) cursor.insertText(part.mid(done, cut - done), format);
                    cursor.insertBlock(later);
                    done = cut;
                }
                cursor.insertText(done == 0 ? part : part.mid(done), format);
                column += part.size();
                if (!made[index]) {
                    formats[index] = cursor.charFormat();
                    made[index] = true;
                }
            }
        }
    });
    raiseChange();
}

std::string RichEditWidget::plainText() const {
    return toFileText(lines_->withoutJoints(document()->toRawText(), 0));
}

void RichEditWidget::writePlainText(const std::function<void(std::string_view)>& sink) const {
    // The document's own copy of its characters is the quickest way to them: reading them a
    // stretch at a time through a cursor costs four times as much.
    const QString text = document()->toRawText();
    lines_->forEachStretch(text, 0, [&sink](QStringView stretch) { convertToFileText(stretch, sink); });
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

void RichEditWidget::setSelText(const std::string& text) { lines_->replaceSelection(fromUtf8(text)); }

long RichEditWidget::selLength() const {
    const QTextCursor cursor = textCursor();
    return lines_->offsetOf(cursor.selectionEnd()) - lines_->offsetOf(cursor.selectionStart());
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
    lines_->formatOnly([&] {
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
    lines_->formatOnly([&] {
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
    lines_->formatOnly([&] {
        QTextCharFormat format;
        format.setFontWeight(value == Tristate::False ? QFont::Normal : QFont::Bold);
        mergeCurrentCharFormat(format);
    });
}

void RichEditWidget::setSelItalic(Tristate value) {
    lines_->formatOnly([&] {
        QTextCharFormat format;
        format.setFontItalic(value != Tristate::False);
        mergeCurrentCharFormat(format);
    });
}

void RichEditWidget::setSelUnderline(Tristate value) {
    lines_->formatOnly([&] {
        QTextCharFormat format;
        format.setFontUnderline(value != Tristate::False);
        mergeCurrentCharFormat(format);
    });
}

void RichEditWidget::setSelStrikeThru(Tristate value) {
    lines_->formatOnly([&] {
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
    lines_->formatOnly([&] {
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
    lines_->formatOnly([&] {
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

void RichEditWidget::moveCaretToLine(int line) {
    QTextCursor cursor(lines_->firstBlockOfLine(std::max(line, 1) - 1));
    setTextCursor(cursor);
    ensureCursorVisible();
}

}  // namespace corvane::qt
