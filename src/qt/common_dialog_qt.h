#pragma once

#include <QPrinter>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <memory>

#include "platform/common_dialog.h"

namespace corvane::qt {

class QtPrinter : public Printer {
public:
    QtPrinter() : printer_(QPrinter::HighResolution) {}
    QPrinter* printer() { return &printer_; }

private:
    QPrinter printer_;
};

// "description|pattern|…" as the file dialog's name filters. "*.*" is every file.
QStringList toNameFilters(const std::string& filter);

// The window's one common dialog, on Qt's own dialogs so they look and behave the same everywhere.
class QtCommonDialog : public CommonDialog {
public:
    explicit QtCommonDialog(QWidget* parent) : parent_(parent) {}

    bool ShowOpen() override;
    bool ShowSave() override;
    bool ShowPrinter() override;
    bool ShowFont() override;
    bool ShowColor() override;
    Printer& hDC() override { return printer_; }

private:
    bool showFileDialog(bool save);

    QWidget* parent_;
    QtPrinter printer_;
    QString lastFolder_;
};

}  // namespace corvane::qt
