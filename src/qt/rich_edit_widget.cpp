#include "qt/rich_edit_widget.h"

#include <QPrinter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>

#include "platform/platform_error.h"
#include "qt/colors.h"
#include "qt/common_dialog_qt.h"
#include "qt/twips.h"

namespace corvane::qt {

namespace {

QString fromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// Paragraph and line separators become "\n"; everything else, no-break spaces included, stays.
std::string toFileText(QString text) {
    for (QChar& ch : text) {
        if (ch == QChar::ParagraphSeparator || ch == QChar::LineSeparator) ch = u'\n';
    }
    return text.toStdString();
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

QTextCharFormat toQtFormat(const CharFormat& format) {
    QTextCharFormat qtFormat;
    if (!format.fontName.empty()) qtFormat.setFontFamilies({fromUtf8(format.fontName)});
    if (format.fontSize > 0) qtFormat.setFontPointSize(format.fontSize);
    qtFormat.setFontWeight(format.bold ? QFont::Bold : QFont::Normal);
    qtFormat.setFontItalic(format.italic);
    qtFormat.setFontUnderline(format.underline);
    qtFormat.setFontStrikeOut(format.strike);
    if (format.color != kDefaultColor) qtFormat.setForeground(fromColorValue(format.color));
    return qtFormat;
}

bool isBold(const QTextCharFormat& f) { return f.fontWeight() >= QFont::Bold; }
bool isItalic(const QTextCharFormat& f) { return f.fontItalic(); }
bool isUnderline(const QTextCharFormat& f) { return f.fontUnderline(); }
bool isStrike(const QTextCharFormat& f) { return f.fontStrikeOut(); }

}  // namespace

RichEditWidget::RichEditWidget(QWidget* parent) : QTextEdit(parent) {
    setAcceptRichText(false);
    setTabChangesFocus(false);
    // The selection shows only while the pane has the focus.
    QPalette pal = palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Inactive, QPalette::Base));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText, pal.color(QPalette::Inactive, QPalette::Text));
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

void RichEditWidget::setText(const std::string& text) { setPlainText(fromUtf8(text)); }

void RichEditWidget::loadPlainText(const std::string& text) { setPlainText(fromUtf8(text)); }

void RichEditWidget::loadRichText(const RichDocument& document) {
    formatOnly([&] {
        QTextDocument* doc = this->document();
        doc->clear();
        QTextCursor cursor(doc);
        cursor.beginEditBlock();
        bool first = true;
        for (const Paragraph& paragraph : document.paragraphs) {
            if (!first) cursor.insertBlock();
            first = false;
            QTextBlockFormat blockFormat;
            blockFormat.setAlignment(toQtAlignment(paragraph.alignment));
            cursor.setBlockFormat(blockFormat);
            for (const TextRun& run : paragraph.runs) cursor.insertText(fromUtf8(run.text), toQtFormat(run.format));
        }
        cursor.endEditBlock();
        doc->clearUndoRedoStacks();
        setTextCursor(QTextCursor(doc));
    });
    raiseChange();
}

std::string RichEditWidget::plainText() const { return toFileText(document()->toRawText()); }

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
    formatOnly([&] { setAlignment(alignment); });
}

void RichEditWidget::selPrint(Printer& printer) {
    auto* target = dynamic_cast<QtPrinter*>(&printer);
    if (target == nullptr) throw PlatformError("打印", "没有选定打印机");
    const QTextCursor cursor = textCursor();
    if (cursor.hasSelection()) {
        QTextDocument selection;
        selection.setDefaultFont(document()->defaultFont());
        QTextCursor(&selection).insertFragment(QTextDocumentFragment(cursor));
        selection.print(target->printer());
    } else {
        document()->print(target->printer());
    }
}

int RichEditWidget::heightTwips() const { return toTwips(height(), this); }

void RichEditWidget::setHeightTwips(int twips) { resize(width(), toPixels(twips, this)); }

void RichEditWidget::setWordWrapOff() { setLineWrapMode(QTextEdit::NoWrap); }

}  // namespace corvane::qt
