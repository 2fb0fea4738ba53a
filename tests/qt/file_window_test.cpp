#include <gtest/gtest.h>

#include <QClipboard>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMessageBox>
#include <QMimeData>
#include <QPrintDialog>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <random>

#include "app/captions.h"
#include "app/window_definition.h"
#include "journal/journal_format.h"
#include "qt/app_setup.h"
#include "qt/code_colouring.h"
#include "qt/long_lines.h"
#include "qt/common_dialog_qt.h"
#include "qt/recovery_journal.h"
#include "window_test_support.h"

namespace corvane::qt {
namespace {

using testing::acceptFileDialog;
using testing::ShownWindow;
using testing::whenModalOpens;

class FileWindow : public ::testing::Test {
protected:
    ShownWindow shown;
    MainWindow& w = shown.window;
    QTemporaryDir dir;

    QString pdfText(const QString& pdf) {
        QProcess process;
        process.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
        process.waitForFinished(30000);
        return QString::fromUtf8(process.readAllStandardOutput());
    }

    // The first page as a person sees it on paper.
    QImage pdfPage(const QString& pdf) {
        QProcess process;
        process.start(QStringLiteral("pdftoppm"),
                      {QStringLiteral("-r"), QStringLiteral("50"), QStringLiteral("-f"), QStringLiteral("1"),
                       QStringLiteral("-singlefile"), pdf, pdf});
        process.waitForFinished(30000);
        return QImage(pdf + QStringLiteral(".ppm"));
    }

    QPrinter* printer() { return &w.commonDialog().hDC().device()->printer; }
};

TEST(NameFilters, OpenFilterBecomesFourteenEntriesInOrder) {
    const QStringList filters = toNameFilters(std::string(text::kOpenFilter));
    ASSERT_EQ(filters.size(), 14);
    EXPECT_EQ(filters[0], "html超文本文件 (*.html *.HTML)");
    EXPECT_EQ(filters[4], "C语言文件 (*.C *.c)");
    EXPECT_EQ(filters[5], "HTML源文件 (*.html *.HTML)");
    EXPECT_EQ(filters[13], "所有文件 (*)");
    EXPECT_EQ(toNameFilters(std::string(text::kCssFilter)), QStringList{"CSS文件 (*.css *.CSS)"});
}

TEST(Translations, AMissingCatalogueIsNoFailure) {
    QTemporaryDir empty;
    EXPECT_EQ(loadChineseTranslations(empty.path()), 0);
    EXPECT_EQ(loadChineseTranslations(empty.filePath("missing")), 0);
}

TEST_F(FileWindow, SaveAsThroughTheRealDialogWritesTheTypedPath) {
    const QString path = dir.filePath("中文 目录.html");
    QString title, cancel, accept;
    QStringList filters;
    whenModalOpens([&](QWidget* modal) {
        title = modal->windowTitle();
        filters = qobject_cast<QFileDialog*>(modal)->nameFilters();
        if (auto* buttons = modal->findChild<QDialogButtonBox*>()) {
            cancel = buttons->button(QDialogButtonBox::Cancel)->text();
            for (QAbstractButton* button : buttons->buttons()) {
                if (buttons->buttonRole(button) == QDialogButtonBox::AcceptRole) accept = button->text();
            }
        }
        acceptFileDialog(modal, path);
    });
    w.menuAction("mnuFileSaveAs")->trigger();
    EXPECT_EQ(title, "另存为");
    // Qt's own dialog speaks Chinese, as the window does.
    EXPECT_EQ(cancel, "取消");
    EXPECT_EQ(accept, "保存(&S)");
    EXPECT_EQ(filters, QStringList{"html超文本文件 (*.html *.HTML)"});
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().toStdString(), std::string(def::sampleText()));
    EXPECT_EQ(w.windowTitle(), path);
    EXPECT_TRUE(shown.failures.isEmpty());
}

TEST_F(FileWindow, CancelledDialogsChangeNothing) {
    QTest::keyClicks(w.pane(1), "x");
    whenModalOpens([](QWidget* modal) { QMetaObject::invokeMethod(modal, "reject"); });
    w.menuAction("mnuFileOpen")->trigger();
    whenModalOpens([](QWidget* modal) { QMetaObject::invokeMethod(modal, "reject"); });
    w.menuAction("mnuFileSaveAs")->trigger();
    EXPECT_EQ(w.windowTitle(), "Corvane 2.5");
    EXPECT_EQ(w.form().htm, "");
    EXPECT_EQ(w.label(1)->text(), "HTML代码编辑区(未保存)");
    EXPECT_TRUE(shown.failures.isEmpty());
}

TEST_F(FileWindow, OpenShowsTheFileAndTheHeaderDoubleClickAsksForAName) {
    const QString path = dir.filePath("b.html");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<p>b</p>\r\n<p>c</p>");
    file.close();
    whenModalOpens([&](QWidget* modal) { acceptFileDialog(modal, path); });
    QTest::keyClick(w.pane(1), Qt::Key_F1);
    EXPECT_EQ(w.pane(1)->toPlainText(), "<p>b</p>\n<p>c</p>");
    EXPECT_EQ(w.windowTitle(), path);
    EXPECT_EQ(w.label(1)->text(), "HTML代码编辑区(未保存)");

    QString title;
    whenModalOpens([&](QWidget* modal) {
        title = modal->windowTitle();
        QMetaObject::invokeMethod(modal, "reject");
    });
    QTest::mouseDClick(w.label(1), Qt::LeftButton);
    EXPECT_EQ(title, "另存为");
    EXPECT_EQ(w.form().htmlSelected, 1);
    EXPECT_EQ(w.form().htmlDirty, kTrue);
}

TEST_F(FileWindow, HeaderClickShowsItsPaneAloneAndDoubleClickSavesIt) {
    QTest::mouseClick(w.label(4), Qt::LeftButton);
    EXPECT_EQ(w.pane(1)->height(), 0);
    EXPECT_EQ(w.pane(3)->height(), 0);
    EXPECT_EQ(w.pane(2)->height(), 625);
    EXPECT_EQ(w.form().cssSelected, 1);
    QTest::keyClicks(w.pane(2), "p{color:red}");
    const QString path = dir.filePath("style.css");
    whenModalOpens([&](QWidget* modal) { acceptFileDialog(modal, path); });
    QTest::mouseDClick(w.label(4), Qt::LeftButton);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "p{color:red}");
    EXPECT_EQ(w.label(4)->text(), "CSS代码编辑区");
}

TEST_F(FileWindow, PrintsOnlyTheSelectionWhenThereIsOne) {
    w.pane(1)->setPlainText(QStringLiteral("first line\nSECOND selected words\nthird line"));
    QTextCursor cursor = w.pane(1)->textCursor();
    cursor.setPosition(11);
    cursor.setPosition(32, QTextCursor::KeepAnchor);
    w.pane(1)->setTextCursor(cursor);
    const QString pdf = dir.filePath("selection.pdf");
    printer()->setOutputFormat(QPrinter::PdfFormat);
    printer()->setOutputFileName(pdf);
    QAbstractPrintDialog::PrintRange range = QAbstractPrintDialog::AllPages;
    bool pageRangeOffered = true;
    whenModalOpens([&](QWidget* modal) {
        auto* dialog = qobject_cast<QPrintDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        range = dialog->printRange();
        pageRangeOffered = dialog->testOption(QAbstractPrintDialog::PrintPageRange);
        QMetaObject::invokeMethod(dialog, "accept");
    });
    w.menuAction("mnuFilePrint")->trigger();
    EXPECT_EQ(range, QAbstractPrintDialog::Selection);
    EXPECT_FALSE(pageRangeOffered);
    const QString text = pdfText(pdf);
    EXPECT_TRUE(text.contains("SECOND selected words")) << text.toStdString();
    EXPECT_FALSE(text.contains("first line")) << text.toStdString();
    EXPECT_FALSE(text.contains("third")) << text.toStdString();
}

TEST_F(FileWindow, PrintsTheWholePaneWithoutASelectionAndNothingWhenCancelled) {
    const QString cancelled = dir.filePath("cancelled.pdf");
    printer()->setOutputFormat(QPrinter::PdfFormat);
    printer()->setOutputFileName(cancelled);
    whenModalOpens([](QWidget* modal) { QMetaObject::invokeMethod(modal, "reject"); });
    w.menuAction("mnuFilePrint")->trigger();
    EXPECT_FALSE(QFile::exists(cancelled));

    const QString pdf = dir.filePath("whole.pdf");
    printer()->setOutputFileName(pdf);
    whenModalOpens([](QWidget* modal) { QMetaObject::invokeMethod(modal, "accept"); });
    w.menuAction("mnuFilePrint")->trigger();
    const QString text = pdfText(pdf);
    EXPECT_TRUE(text.contains("window.onload=function(){")) << text.toStdString();
    EXPECT_TRUE(text.contains("</script>"));

    // A long line, which the pane holds in pieces, is printed as one paragraph: every printed
    // line full but the last.
    w.pane(1)->setText(std::string(5000, 'x'));
    ASSERT_GT(w.pane(1)->document()->blockCount(), 1);
    const QString long_pdf = dir.filePath("long.pdf");
    printer()->setOutputFileName(long_pdf);
    whenModalOpens([](QWidget* modal) { QMetaObject::invokeMethod(modal, "accept"); });
    w.menuAction("mnuFilePrint")->trigger();
    // Page numbers aside.
    const QStringList lines = pdfText(long_pdf)
                                  .split(QRegularExpression("\\s+"), Qt::SkipEmptyParts)
                                  .filter(QRegularExpression("^x+$"));
    ASSERT_GT(lines.size(), 2);
    EXPECT_TRUE(lines.join(QString()) == QString(5000, u'x')) << lines.join(QString()).size();
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) EXPECT_EQ(lines[i].size(), lines[0].size()) << i;
}

// What leaves the pane is the same with the code coloured as without: the file, the clipboard in
// every form it is offered, and the printed page, its text and its ink.
TEST_F(FileWindow, ColouringNeverReachesAFileTheClipboardOrAPrint) {
    RichEditWidget* pane = w.pane(1);
    QTextCursor cursor(pane->document());
    cursor.setPosition(1);
    cursor.setPosition(7, QTextCursor::KeepAnchor);
    pane->setTextCursor(cursor);
    pane->setSelColor(0x0000ff);
    pane->setSelBold(Tristate::True);
    struct Output {
        QByteArray file;
        QString copied;
        std::map<QString, QByteArray> nativeCopy;
        QString printed;
        QImage page;
    };
    const auto outputs = [&](bool colouring) {
        CodeColouring::of(pane)->setEnabled(colouring);
        pane->viewport()->repaint();
        EXPECT_EQ(pane->document()->firstBlock().layout()->formats().isEmpty(), !colouring);
        Output out;
        const QString name = colouring ? QStringLiteral("on") : QStringLiteral("off");
        whenModalOpens([&](QWidget* modal) { acceptFileDialog(modal, dir.filePath(name + ".html")); });
        w.menuAction("mnuFileSaveAs")->trigger();
        QFile file(dir.filePath(name + ".html"));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        out.file = file.readAll();
        pane->selectAll();
        w.menuAction("mnuEditCopy")->trigger();
        out.copied = QGuiApplication::clipboard()->text();
        pane->copy();
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        for (const QString& format : data->formats()) out.nativeCopy[format] = data->data(format);
        pane->moveCursor(QTextCursor::End);
        printer()->setOutputFormat(QPrinter::PdfFormat);
        printer()->setOutputFileName(dir.filePath(name + ".pdf"));
        whenModalOpens([](QWidget* modal) { QMetaObject::invokeMethod(modal, "accept"); });
        w.menuAction("mnuFilePrint")->trigger();
        out.printed = pdfText(dir.filePath(name + ".pdf"));
        out.page = pdfPage(dir.filePath(name + ".pdf"));
        return out;
    };
    const Output off = outputs(false);
    const Output on = outputs(true);
    EXPECT_FALSE(on.file.isEmpty());
    EXPECT_EQ(on.file, off.file);
    EXPECT_FALSE(on.copied.isEmpty());
    EXPECT_EQ(on.copied, off.copied);
    EXPECT_FALSE(on.nativeCopy.empty());
    EXPECT_EQ(on.nativeCopy, off.nativeCopy);
    EXPECT_TRUE(on.printed.contains("window.onload=function(){")) << on.printed.toStdString();
    EXPECT_EQ(on.printed, off.printed);
    ASSERT_FALSE(on.page.isNull());
    EXPECT_TRUE(on.page == off.page);
    EXPECT_EQ(w.form().htmlDirty, 0);
    EXPECT_TRUE(shown.failures.isEmpty()) << shown.failures.join('\n').toStdString();
}

// The recovery journal of a real window: what typing leaves in it, what the next start brings back.
class RecoveryWindow : public FileWindow {
protected:
    QString folder = dir.filePath(QStringLiteral("state/corvane"));

    static std::optional<journal::Journal> journalOf(MainWindow& window) {
        std::ifstream in(window.recoveryJournal()->folder().journalPath(), std::ios::binary);
        if (!in) return std::nullopt;
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::optional<journal::Journal> journal = journal::readJournal(bytes);
        const std::string folder = window.recoveryJournal()->folder().path();
        if (journal && !journal::completeJournal(*journal, [&folder](const std::string& name) {
                return std::optional<std::string>(fileBytes(QString::fromStdString(folder + "/" + name)));
            }))
            journal.reset();
        return journal;
    }
    // The journal as it is on disk, its panes' bases not read.
    static std::optional<journal::Journal> rawJournalOf(MainWindow& window) {
        std::ifstream in(window.recoveryJournal()->folder().journalPath(), std::ios::binary);
        if (!in) return std::nullopt;
        return journal::readJournal(
            std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
    }
    static std::string textOf(const std::optional<journal::Journal>& journal, PaneId pane) {
        if (!journal) return "(none)";
        for (const journal::PaneRecord& record : journal->panes)
            if (record.pane == pane) return record.text;
        return "(no pane)";
    }
    static std::string fileBytes(const QString& path) {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        return file.readAll().toStdString();
    }
    static void saveAs(MainWindow& window, void (frmM::*step)(), const QString& path) {
        whenModalOpens([path](QWidget* modal) { acceptFileDialog(modal, path); });
        window.run([&] { std::invoke(step, window.form()); });
    }
    // Answers the next message box with `button`, after taking its title and text.
    static void answer(QMessageBox::StandardButton button, QString* title, QString* text) {
        whenModalOpens([=](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (box == nullptr) {
                modal->close();
                return;
            }
            *title = box->windowTitle();
            *text = box->text();
            box->button(button)->click();
        });
    }
};

TEST_F(RecoveryWindow, KeepsWhatWasTypedAndBringsAllThreePanesBackToSaveWhereTheyBelong) {
    // A GB18030 page with CRLF line ends and a byte it cannot read, and a style sheet and a script.
    const QString source = dir.filePath(QStringLiteral("source.html"));
    const QString page = dir.filePath(QStringLiteral("page.html"));
    const std::string pageBytes = "<meta charset=\"gbk\">\r\n<p>\xd6\xd0\xce\xc4 \xff</p>\r\n";
    {
        QFile file(source);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(pageBytes.data(), static_cast<qint64>(pageBytes.size()));
    }
    auto first = std::make_unique<ShownWindow>();
    MainWindow& killed = first->window;
    killed.enableRecoveryJournal(folder.toStdString());
    whenModalOpens([](QWidget* modal) { modal->close(); });  // the unreadable byte is told about
    killed.openFile(source);
    saveAs(killed, &frmM::mnuFileSaveAs_Click, page);
    saveAs(killed, &frmM::SaveCssAs, dir.filePath(QStringLiteral("style.css")));
    saveAs(killed, &frmM::SaveJsAs, dir.filePath(QStringLiteral("app.js")));
    ASSERT_TRUE(first->failures.isEmpty()) << first->failures.join('\n').toStdString();
    for (int pane = 1; pane <= 3; ++pane) {
        killed.pane(pane)->setFocus();
        QTest::keyClick(killed.pane(pane), Qt::Key_Home, Qt::ControlModifier);
        QTest::keyClicks(killed.pane(pane), QStringLiteral("/*edit%1*/").arg(pane));
    }
    QTRY_VERIFY_WITH_TIMEOUT(textOf(journalOf(killed), PaneId::Js) == "/*edit3*/", 10000);
    const std::optional<journal::Journal> kept = journalOf(killed);
    ASSERT_EQ(kept->panes.size(), 3u);
    for (int pane = 1; pane <= 3; ++pane)
        EXPECT_EQ(kept->panes[static_cast<std::size_t>(pane - 1)].text, killed.pane(pane)->plainText());
    EXPECT_EQ(kept->panes[0].format, (TextFormat{"gb18030", false, LineEnd::CrLf}));
    EXPECT_EQ(kept->panes[0].path, page.toStdString());
    EXPECT_EQ(kept->panes[2].caret, 9);
    QFile::Permissions privateFile = QFile::ReadOwner | QFile::WriteOwner;
    EXPECT_EQ(
        QFile::permissions(QString::fromStdString(killed.recoveryJournal()->folder().journalPath())) & 0x7777,
        privateFile | QFile::ReadUser | QFile::WriteUser);

    // The editor goes without closing (as when it is killed); the next one offers the panes.
    first.reset();
    QString title, question;
    answer(QMessageBox::Yes, &title, &question);
    w.enableRecoveryJournal(folder.toStdString());
    QTRY_VERIFY_WITH_TIMEOUT(w.form().jsDirty == kTrue, 10000);
    EXPECT_EQ(title.toStdString(), text::kRecoverTitle);
    EXPECT_TRUE(question.contains(QStringLiteral("HTML代码编辑区：") + page)) << question.toStdString();
    EXPECT_TRUE(question.contains(QStringLiteral("JS代码编辑区："))) << question.toStdString();
    for (int label : {1, 4, 5}) EXPECT_TRUE(w.label(label)->text().endsWith(QStringLiteral("(未保存)")));
    EXPECT_EQ(w.pane(3)->textCursor().position(), 9);
    for (auto doubleClick : {&frmM::Label1_DblClick, &frmM::Label4_DblClick, &frmM::Label5_DblClick})
        w.run([&] { std::invoke(doubleClick, w.form()); });
    ASSERT_TRUE(shown.failures.isEmpty()) << shown.failures.join('\n').toStdString();
    EXPECT_EQ(fileBytes(page), "/*edit1*/" + pageBytes);
    EXPECT_EQ(fileBytes(dir.filePath(QStringLiteral("style.css"))), "/*edit2*/");
    EXPECT_EQ(fileBytes(dir.filePath(QStringLiteral("app.js"))), "/*edit3*/");
    // Nothing unsaved: the journal is gone, and the one it came from too.
    QTRY_VERIFY_WITH_TIMEOUT(
        !QFile::exists(QString::fromStdString(w.recoveryJournal()->folder().journalPath())), 5000);
    EXPECT_EQ(QDir(folder).entryList(QStringList{QStringLiteral("*.journal")}, QDir::Files), QStringList());

    // Typed again and closed with the person's word: nothing is left to offer.
    QTest::keyClicks(w.pane(1), QStringLiteral("x"));
    QTRY_VERIFY_WITH_TIMEOUT(journalOf(w).has_value(), 10000);
    answer(QMessageBox::Yes, &title, &question);
    w.close();
    EXPECT_EQ(question.toStdString(), text::kQuitPrompt);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(w.recoveryJournal()->folder().journalPath())));
}

// The journal follows the document change by change; a long line is held in pieces whose joints
// are no characters. Edits in and across pieces, an undo and a paste over a selection must leave
// the journal holding exactly the pane's text.
TEST_F(RecoveryWindow, HoldsExactlyThePanesTextAfterEditsInALongLine) {
    w.enableRecoveryJournal(folder.toStdString());
    RichEditWidget* pane = w.pane(2);
    std::string line;
    for (int i = 0; line.size() < 70000; ++i) line += "a" + std::to_string(i) + " ";
    w.run([&] { pane->loadPlainText("p{}\n" + line + "\nend\n"); });
    ASSERT_GT(pane->document()->blockCount(), 10) << "the long line is not in pieces";
    // The edits below follow a base that is a file of the pane's text.
    QTRY_VERIFY_WITH_TIMEOUT(journalOf(w).has_value(), 10000);
    pane->setFocus();
    QTextCursor cursor = pane->textCursor();
    cursor.setPosition(2500);
    pane->setTextCursor(cursor);
    QTest::keyClicks(pane, QStringLiteral("xyz"));
    QTest::keyClick(pane, Qt::Key_Backspace);
    QTest::keyClick(pane, Qt::Key_Return);
    QTest::keyClick(pane, Qt::Key_Z, Qt::ControlModifier);
    cursor = pane->textCursor();
    cursor.setPosition(100);
    cursor.setPosition(3000, QTextCursor::KeepAnchor);
    pane->setTextCursor(cursor);
    QTest::keyClicks(pane, QStringLiteral("q"));
    QTRY_VERIFY_WITH_TIMEOUT(textOf(journalOf(w), PaneId::Css) == pane->plainText(), 10000);
    EXPECT_EQ(journalOf(w)->panes[0].caret, pane->caretPosition());
    EXPECT_EQ(rawJournalOf(w)->panes[0].baseKind, journal::BaseKind::Whole);
}

// Random keys, pastes, undo and redo, formatting, large replacements and a save, in a page read
// from a file with CRLF line ends, unreadable bytes and a long line: whatever the journal starts
// from, the text it holds after each burst of edits is the pane's.
TEST_F(RecoveryWindow, AfterRandomEditsTheJournalHoldsExactlyThePanesText) {
    w.enableRecoveryJournal(folder.toStdString());
    const QString page = dir.filePath(QStringLiteral("random.html"));
    std::string bytes = "<meta charset=\"gbk\">\r\n<p>\xd6\xd0\xce\xc4 \xff unreadable</p>\r\n<script>";
    for (int i = 0; bytes.size() < 6000; ++i) bytes += "var v" + std::to_string(i) + "=" + std::to_string(i) + ";";
    bytes += "</script>\r\n";
    for (int i = 0; i < 300; ++i) bytes += "<li>" + std::to_string(i) + "</li>\r\n";
    {
        QFile file(page);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes.data(), static_cast<qint64>(bytes.size()));
    }
    whenModalOpens([](QWidget* modal) { modal->close(); });  // the unreadable byte is told about
    w.openFile(page);
    RichEditWidget* pane = w.pane(1);
    LongLines* lines = LongLines::of(pane);
    ASSERT_GT(pane->document()->blockCount(), 310) << "the long line is not in pieces";
    pane->setFocus();
    std::mt19937 random(24);
    const auto pick = [&random](int below) { return below <= 0 ? 0 : static_cast<int>(random() % static_cast<unsigned>(below)); };
    const std::vector<std::pair<Qt::Key, Qt::KeyboardModifiers>> keys = {
        {Qt::Key_X, {}},      {Qt::Key_Backspace, {}},          {Qt::Key_Delete, {}},
        {Qt::Key_Return, {}}, {Qt::Key_Z, Qt::ControlModifier}, {Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier}};
    for (int burst = 0; burst < 8; ++burst) {
        // A save sets a new start for the edits that follow.
        if (burst == 4) saveAs(w, &frmM::mnuFileSaveAs_Click, dir.filePath(QStringLiteral("random-saved.html")));
        for (int step = 0; step < 15; ++step) {
            const int length = lines->characterCount();
            QTextCursor cursor = pane->textCursor();
            cursor.setPosition(lines->positionOf(pick(length + 1)));
            switch (pick(6)) {
            case 0:  // a selection typed over
                cursor.setPosition(lines->positionOf(std::min(length, lines->offsetOf(cursor.position()) + pick(700))),
                                   QTextCursor::KeepAnchor);
                pane->setTextCursor(cursor);
                QTest::sendKeyEvent(QTest::Click, pane, Qt::Key_unknown, QStringLiteral("中"), Qt::NoModifier);
                QTest::keyClicks(pane, QStringLiteral("y"));
                break;
            case 1:  // a paste of lines
                pane->setTextCursor(cursor);
                QGuiApplication::clipboard()->setText(QStringLiteral("one\ntwo\r\nthree ") + QString(pick(1500), u'w'));
                QTest::keyClick(pane, Qt::Key_V, Qt::ControlModifier);
                break;
            case 2: {  // a replacement, now and then larger than any one edit the journal keeps
                const int from = lines->offsetOf(cursor.position());
                lines->replace(from, std::min(length, from + pick(900)),
                               QString(pick(4) == 0 ? 70000 + pick(100) : pick(1200), u'p'));
                break;
            }
            case 3:  // formatting alone
                cursor.setPosition(lines->positionOf(std::min(length, lines->offsetOf(cursor.position()) + pick(500))),
                                   QTextCursor::KeepAnchor);
                pane->setTextCursor(cursor);
                pane->setSelBold(pick(2) ? Tristate::True : Tristate::False);
                break;
            default: {
                pane->setTextCursor(cursor);
                const auto& key = keys[static_cast<std::size_t>(pick(static_cast<int>(keys.size())))];
                QTest::keyClick(pane, key.first, key.second);
            }
            }
        }
        SCOPED_TRACE(burst);
        QTRY_VERIFY_WITH_TIMEOUT(textOf(journalOf(w), PaneId::Html) == pane->plainText(), 10000);
    }
    ASSERT_TRUE(shown.failures.isEmpty()) << shown.failures.join('\n').toStdString();
}

// A pane read from a file starts from a copy of the file, made on the writer's thread; a file
// another program changed before the copy cannot be that base, and the pane's text is.
TEST_F(RecoveryWindow, StartsFromACopyOfThePanesFileUnlessTheFileChangedBeforeTheCopy) {
    w.enableRecoveryJournal(folder.toStdString());
    const QString page = dir.filePath(QStringLiteral("copied.html"));
    std::string bytes = "<meta charset=\"gbk\">\r\n<p>\xd6\xd0\xce\xc4</p>\r\n";
    for (int i = 0; i < 6000; ++i) bytes += "<p>" + std::to_string(i) + "</p>\r\n";
    for (const bool changed : {false, true}) {
        SCOPED_TRACE(changed ? "changed before the first key" : "as read");
        {
            QFile file(page);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(bytes.data(), static_cast<qint64>(bytes.size()));
        }
        w.openFile(page);
        if (changed) {
            QFile file(page);
            ASSERT_TRUE(file.open(QIODevice::Append));
            file.write("<p>another program</p>\r\n");
        }
        RichEditWidget* pane = w.pane(1);
        pane->setFocus();
        QTest::keyClick(pane, Qt::Key_Home, Qt::ControlModifier);
        QTest::keyClicks(pane, QStringLiteral("ab"));
        QTest::keyClick(pane, Qt::Key_Backspace);
        QTest::keyClick(pane, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClicks(pane, QStringLiteral("yz"));
        QTRY_VERIFY_WITH_TIMEOUT(textOf(journalOf(w), PaneId::Html) == pane->plainText(), 10000);
        EXPECT_EQ(rawJournalOf(w)->panes[0].baseKind, changed ? journal::BaseKind::Whole : journal::BaseKind::Copy);
        EXPECT_TRUE(pane->plainText().starts_with("a<meta"));
        // Saved: the journal and its base go.
        saveAs(w, &frmM::mnuFileSaveAs_Click, dir.filePath(QStringLiteral("saved-%1.html").arg(changed)));
        QTRY_VERIFY_WITH_TIMEOUT(
            QDir(folder).entryList(QStringList{QStringLiteral("*.base")}, QDir::Files).isEmpty(), 10000);
    }
    ASSERT_TRUE(shown.failures.isEmpty()) << shown.failures.join('\n').toStdString();
}

TEST_F(RecoveryWindow, SaveAsksBeforeOverwritingAFileAnotherProgramChangedAndNoLeavesBoth) {
    const QString page = dir.filePath(QStringLiteral("a.html"));
    saveAs(w, &frmM::mnuFileSaveAs_Click, page);
    QTest::keyClicks(w.pane(1), QStringLiteral("mine"));
    const std::string pane = w.pane(1)->plainText();
    {
        QFile file(page);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("another program's");
    }
    QString title, question;
    answer(QMessageBox::No, &title, &question);
    w.menuAction("mnuFileSave")->trigger();
    EXPECT_EQ(question.toStdString(), text::changedOnDiskQuestion(page.toStdString()));
    EXPECT_EQ(title.toStdString(), text::kSaveTitle);
    EXPECT_EQ(fileBytes(page), "another program's");
    EXPECT_EQ(w.pane(1)->plainText(), pane);
    EXPECT_EQ(w.label(1)->text(), QStringLiteral("HTML代码编辑区(未保存)"));

    answer(QMessageBox::Yes, &title, &question);
    w.menuAction("mnuFileSave")->trigger();
    EXPECT_EQ(fileBytes(page), pane);
    EXPECT_EQ(w.label(1)->text(), QStringLiteral("HTML代码编辑区"));
}

}  // namespace
}  // namespace corvane::qt
