#include "qt/common_dialog_qt.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QPrintDialog>

#include "qt/colors.h"
#include "qt/utf8_text.h"

namespace corvane::qt {

namespace {

// File systems here tell case apart, so "*.C" also offers "*.c".
QString patternsFor(const QString& pattern) {
    QStringList patterns;
    for (const QString& part : pattern.split(u';', Qt::SkipEmptyParts)) {
        const QString trimmed = part.trimmed();
        if (trimmed == u"*.*") {
            patterns << QStringLiteral("*");
            continue;
        }
        patterns << trimmed;
        for (const QString& variant : {trimmed.toLower(), trimmed.toUpper()}) {
            if (!patterns.contains(variant)) patterns << variant;
        }
    }
    return patterns.join(u' ');
}

}  // namespace

QStringList toNameFilters(const std::string& filter) {
    const QStringList parts = fromUtf8(filter).split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        const QString patterns = patternsFor(parts[i + 1]);
        // A description that already shows its pattern, "CSS文件(*.css)", keeps it as the list.
        if (description.endsWith(u')') && description.contains(u'(')) {
            description = description.left(description.lastIndexOf(u'('));
        }
        filters << description + QStringLiteral(" (") + patterns + u')';
    }
    return filters;
}

bool QtCommonDialog::showFileDialog(bool save) {
    QFileDialog dialog(parent_, fromUtf8(props_.DialogTitle), lastFolder_);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // The open dialog does not insist on an existing file; loading one that is missing fails and
    // says so.
    dialog.setFileMode(QFileDialog::AnyFile);
    const QStringList filters = toNameFilters(props_.Filter);
    if (!filters.isEmpty()) dialog.setNameFilters(filters);
    props_.FileName.clear();
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    const QString chosen = dialog.selectedFiles().constFirst();
    lastFolder_ = QFileInfo(chosen).absolutePath();
    props_.FileName = QFileInfo(chosen).absoluteFilePath().toStdString();
    return !props_.FileName.empty();
}

bool QtCommonDialog::ShowOpen() { return showFileDialog(false); }
bool QtCommonDialog::ShowSave() { return showFileDialog(true); }

bool QtCommonDialog::ShowPrinter() {
    QPrintDialog dialog(printer(), parent_);
    QPrintDialog::PrintDialogOptions options = dialog.options();
    options.setFlag(QAbstractPrintDialog::PrintPageRange, (props_.Flags & kPdNoPageNums) == 0);
    options.setFlag(QAbstractPrintDialog::PrintSelection, (props_.Flags & kPdSelection) != 0);
    dialog.setOptions(options);
    dialog.setPrintRange((props_.Flags & kPdSelection) != 0 ? QAbstractPrintDialog::Selection
                                                            : QAbstractPrintDialog::AllPages);
    return dialog.exec() == QDialog::Accepted;
}

bool QtCommonDialog::ShowFont() {
    QFont initial;
    if (!props_.FontName.empty()) initial.setFamily(fromUtf8(props_.FontName));
    if (props_.FontSize > 0) initial.setPointSizeF(props_.FontSize);
    initial.setBold(props_.FontBold);
    initial.setItalic(props_.FontItalic);
    initial.setUnderline(props_.FontUnderline);
    initial.setStrikeOut(props_.FontStrikethru);
    QFontDialog dialog(initial, parent_);
    dialog.setOption(QFontDialog::DontUseNativeDialog, true);
    if (dialog.exec() != QDialog::Accepted) return false;
    const QFont chosen = dialog.selectedFont();
    props_.FontName = chosen.family().toStdString();
    props_.FontSize = static_cast<float>(chosen.pointSizeF());
    props_.FontBold = chosen.bold();
    props_.FontItalic = chosen.italic();
    props_.FontUnderline = chosen.underline();
    props_.FontStrikethru = chosen.strikeOut();
    return true;
}

bool QtCommonDialog::ShowColor() {
    QColorDialog dialog(fromColorValue(props_.Color), parent_);
    dialog.setOption(QColorDialog::DontUseNativeDialog, true);
    if (dialog.exec() != QDialog::Accepted) return false;
    props_.Color = toColorValue(dialog.selectedColor());
    return true;
}

}  // namespace corvane::qt
