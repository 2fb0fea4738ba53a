#include "qt/rich_edit_widget.h"

#include <QAbstractUndoItem>
#include <QPlainTextDocumentLayout>
#include <QPrinter>
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

// The plain-text layout with paragraph alignment. Its own layout of a paragraph always uses the
// document's default alignment, so the paragraph's alignment is set on the laid-out paragraph
// whenever the view asks where a paragraph is: before it paints it, places the caret in it or
// finds the character under the mouse. A line then lines up within the pane's width, as in a
// QTextEdit without wrapping; a line wider than the pane starts at the left.
class PaneDocumentLayout : public QPlainTextDocumentLayout {
public:
    using QPlainTextDocumentLayout::QPlainTextDocumentLayout;

    QRectF blockBoundingRect(const QTextBlock& block) const override {
        QRectF rect = QPlainTextDocumentLayout::blockBoundingRect(block);
        if (!block.isValid()) return rect;
        QTextLayout* layout = block.layout();
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
        return rect;
    }
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

void RichEditWidget::onContentsChange(int /*position*/, int removed, int added) {
    if (formatting_ || (removed == 0 && added == 0)) return;
    raiseChange();
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
    replaceContent([&text](QTextCursor& cursor) { cursor.insertText(fromUtf8(text)); });
    raiseChange();
}

void RichEditWidget::loadPlainText(const std::string& text) {
    replaceContent([&text](QTextCursor& cursor) { cursor.insertText(fromUtf8(text)); });
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
            for (const TextRun& run : paragraph.runs) {
                cursor.insertText(fromUtf8(text.substr(0, run.length)), qtFormatOf(run.format));
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

std::string RichEditWidget::plainText() const { return toFileText(document()->toRawText()); }

void RichEditWidget::writePlainText(const std::function<void(std::string_view)>& sink) const {
    // The document's own copy of its characters is the quickest way to them: reading them a
    // stretch at a time through a cursor costs four times as much.
    convertToFileText(document()->toRawText(), sink);
}

std::string RichEditWidget::selText() const { return toFileText(textCursor().selectedText()); }

void RichEditWidget::setSelText(const std::string& text) {
    QTextCursor cursor = textCursor();
    cursor.insertText(fromUtf8(text));
    setTextCursor(cursor);
}

long RichEditWidget::selLength() const {
    const QTextCursor cursor = textCursor();
    return cursor.selectionEnd() - cursor.selectionStart();
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
        QTextCursor cursor = textCursor();
        cursor.mergeBlockFormat(format);
        setTextCursor(cursor);
    });
}

void RichEditWidget::selPrint(Printer& printer) {
    Printer::Device* device = printer.device();
    if (device == nullptr) throw PlatformError("打印", "没有选定打印机");
    const QTextCursor cursor = textCursor();
    if (cursor.hasSelection()) {
        QTextDocument selection;
        selection.setDefaultFont(document()->defaultFont());
        QTextCursor(&selection).insertFragment(QTextDocumentFragment(cursor));
        selection.print(&device->printer);
    } else {
        // A copy: Qt's print of the pane's own document would copy the colours the pane shows its
        // code in (qt/code_colouring.h), which are for the screen only.
        const std::unique_ptr<QTextDocument> copy(document()->clone());
        copy->print(&device->printer);
    }
}

int RichEditWidget::heightTwips() const { return toTwips(height(), this); }

void RichEditWidget::setHeightTwips(int twips) { resize(width(), toPixels(twips, this)); }

void RichEditWidget::setWordWrapOff() { setLineWrapMode(QPlainTextEdit::NoWrap); }

}  // namespace corvane::qt
