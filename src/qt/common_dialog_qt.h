#pragma once

#include <QPrinter>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <memory>

#include "platform/common_dialog.h"

namespace corvane {

// The printer the print dialog chooses, as the panes print on it.
class Printer::Device {
public:
    Device() : printer(QPrinter::HighResolution) {}
    QPrinter printer;
};

}  // namespace corvane

namespace corvane::qt {

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
    QPrinter* printer() { return &device_.printer; }

private:
    bool showFileDialog(bool save);

    QWidget* parent_;
    Printer::Device device_;
    Printer printer_{&device_};
    QString lastFolder_;
};

}  // namespace corvane::qt
