#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>

#include "app/captions.h"
#include "app/window_definition.h"
#include "window_test_support.h"

namespace corvane::qt {
namespace {

using testing::ShownWindow;
using testing::whenModalOpens;

class WindowBehaviour : public ::testing::Test {
protected:
    ShownWindow shown;
    MainWindow& w = shown.window;
};

TEST_F(WindowBehaviour, TypingInEachPaneMarksItsHeader) {
    const char* unsaved[] = {"HTML代码编辑区(未保存)", "CSS代码编辑区(未保存)", "JS代码编辑区(未保存)"};
    const int headers[] = {1, 4, 5};
    for (int i = 0; i < 3; ++i) {
        RichEditWidget* pane = w.pane(i + 1);
        pane->raise();
        pane->setFocus();
        QTest::keyClicks(pane, "ab");
        EXPECT_EQ(w.label(headers[i])->text(), unsaved[i]);
    }
    EXPECT_EQ(w.form().htmlDirty, kTrue);
    EXPECT_EQ(w.form().cssDirty, kTrue);
    EXPECT_EQ(w.form().jsDirty, kTrue);
    EXPECT_TRUE(w.pane(2)->toPlainText() == "ab");
}

TEST_F(WindowBehaviour, FormattingAloneIsNotAChange) {
    RichEditWidget* pane = w.pane(1);
    pane->selectAll();
    w.form().mnuTxtBold_Click();
    w.form().mnuTxtR_Click();
    pane->setSelColor(0x0000ff);
    EXPECT_EQ(w.form().htmlDirty, kFalse);
    EXPECT_EQ(w.label(1)->text(), "HTML代码编辑区");
    EXPECT_EQ(pane->selBold(), Tristate::True);
    // Only the characters reach a file.
    EXPECT_EQ(pane->plainText(), std::string(def::sampleText()));
}

TEST_F(WindowBehaviour, LongLinesNeverWrap) {
    RichEditWidget* pane = w.pane(1);
    pane->moveCursor(QTextCursor::End);
    QTest::keyClicks(pane, QString(400, u'x'));
    EXPECT_EQ(pane->document()->lastBlock().layout()->lineCount(), 1);
    EXPECT_GT(pane->horizontalScrollBar()->maximum(), 0);
}

TEST_F(WindowBehaviour, ShortcutsReachTheirCommandsFromInsideAPane) {
    w.pane(2)->raise();
    w.pane(2)->setFocus();
    QTest::keyClick(w.pane(2), Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(w.windowTitle(), "Corvane");
    EXPECT_TRUE(w.pane(1)->toPlainText().isEmpty());
    QString title;
    whenModalOpens([&](QWidget* modal) {
        title = modal->windowTitle();
        modal->close();
    });
    QTest::keyClick(w.pane(2), Qt::Key_F1);
    EXPECT_EQ(title, "打开");
}

TEST_F(WindowBehaviour, QuitQuestionNoKeepsTheWindowYesCloses) {
    w.pane(1)->setFocus();
    QTest::keyClicks(w.pane(1), "x");
    QString text, title, yes, no;
    bool noIcon = false, yesDefault = false;
    whenModalOpens([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        text = box->text();
        title = box->windowTitle();
        yes = box->button(QMessageBox::Yes)->text();
        no = box->button(QMessageBox::No)->text();
        noIcon = box->icon() == QMessageBox::NoIcon;
        yesDefault = box->defaultButton() == box->button(QMessageBox::Yes);
        box->button(QMessageBox::No)->click();
    });
    w.close();
    EXPECT_EQ(text, "当前记录尚未保存，确认要退出?");
    EXPECT_EQ(title, "提示");
    // Qt's own buttons speak Chinese too.
    EXPECT_EQ(yes, "是(&Y)");
    EXPECT_EQ(no, "否(&N)");
    EXPECT_TRUE(noIcon);
    EXPECT_TRUE(yesDefault);
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.label(1)->text(), "HTML代码编辑区(未保存)");
    EXPECT_EQ(w.form().htmlDirty, kTrue);

    whenModalOpens(
        [](QWidget* modal) { qobject_cast<QMessageBox*>(modal)->button(QMessageBox::Yes)->click(); });
    w.form().mnuFileExit_Click();
    EXPECT_FALSE(w.isVisible());
}

// Each paragraph's alignment and each stretch of text with what it looks like.
std::string looks(const QTextDocument* document) {
    QStringList out;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        out << QStringLiteral("align %1").arg(int(block.blockFormat().alignment()));
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            out << it.fragment().text() + QStringLiteral(" | %1 %2 %3 %4 %5 %6")
                                              .arg(f.fontWeight())
                                              .arg(f.fontItalic())
                                              .arg(f.fontUnderline())
                                              .arg(f.fontPointSize())
                                              .arg(f.foreground().color().name())
                                              .arg(f.fontFamilies().toStringList().join(u','));
        }
    }
    return out.join(u'\n').toStdString();
}

TEST_F(WindowBehaviour, NewAndOpenAreEachUndoneByOneUndoWithTheFormatting) {
    RichEditWidget* pane = w.pane(1);
    const auto open = [&](const QString& path) {
        whenModalOpens([path](QWidget* modal) { testing::acceptFileDialog(modal, path); });
        w.menuAction("mnuFileOpen")->trigger();
    };
    const std::string sample = pane->plainText();
    // A file LibreOffice wrote, with bold, italic, colours, sizes and alignments.
    open(QStringLiteral(CORVANE_TEST_DATA "/libreoffice_sample.rtf"));
    ASSERT_TRUE(shown.failures.isEmpty()) << shown.failures.join('\n').toStdString();
    const std::string formattedText = pane->plainText();
    const std::string formatted = looks(pane->document());
    ASSERT_NE(formattedText.find("Centred paragraph"), std::string::npos);

    // Keys, as a person presses them in the pane. A key typed at the end of what was loaded is a
    // step of its own.
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    pane->setFocus();
    pane->moveCursor(QTextCursor::End);
    QTest::keyClicks(pane, "x");
    QTest::keyClick(pane, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(pane->plainText(), formattedText);
    QTest::keyClick(pane, Qt::Key_N, Qt::ControlModifier);
    EXPECT_TRUE(pane->toPlainText().isEmpty());
    QTest::keyClick(pane, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(pane->plainText(), formattedText);
    EXPECT_EQ(looks(pane->document()), formatted);

    // A plain file from the system, undone from the pane's own context menu, which speaks Chinese.
    const QString licence = QStringLiteral("/usr/share/common-licenses/Apache-2.0");
    open(licence);
    QFile file(licence);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    ASSERT_EQ(pane->plainText(), file.readAll().toStdString());
    std::unique_ptr<QMenu> menu(pane->createStandardContextMenu());
    QAction* undo = nullptr;
    for (QAction* action : menu->actions()) {
        if (action->text().startsWith(QStringLiteral("撤消(&U)"))) undo = action;
    }
    ASSERT_NE(undo, nullptr);
    ASSERT_TRUE(undo->isEnabled());
    undo->trigger();
    EXPECT_EQ(pane->plainText(), formattedText);
    EXPECT_EQ(looks(pane->document()), formatted);
    // One more brings back the sample the window started with.
    undo->trigger();
    EXPECT_EQ(pane->plainText(), sample);
}

TEST_F(WindowBehaviour, UnsavedCssAlsoAsksBeforeClosing) {
    w.pane(2)->setFocus();
    QTest::keyClicks(w.pane(2), "p{}");
    bool asked = false;
    whenModalOpens([&](QWidget* modal) {
        asked = true;
        qobject_cast<QMessageBox*>(modal)->button(QMessageBox::No)->click();
    });
    w.close();
    EXPECT_TRUE(asked);
    EXPECT_TRUE(w.isVisible());
}

TEST_F(WindowBehaviour, AQuitQuestionLeftWithoutAnAnswerKeepsTheWindowAndSaysSo) {
    w.pane(1)->setFocus();
    QTest::keyClicks(w.pane(1), "x");
    bool asked = false;
    whenModalOpens([&](QWidget* modal) {
        asked = qobject_cast<QMessageBox*>(modal) != nullptr;
        // Ended by neither button, as when the desktop takes it away.
        qobject_cast<QDialog*>(modal)->done(0);
    });
    w.close();
    EXPECT_TRUE(asked);
    EXPECT_TRUE(w.isVisible());
    ASSERT_EQ(shown.failures.size(), 1);
    EXPECT_TRUE(shown.failures[0].contains("提示")) << shown.failures[0].toStdString();
    EXPECT_EQ(w.form().htmlDirty, kTrue);
}

TEST_F(WindowBehaviour, AFailureIsReportedAndTheProgramGoesOn) {
    whenModalOpens([](QWidget* modal) { testing::acceptFileDialog(modal, "/nonexistent/missing.html"); });
    w.menuAction("mnuFileOpen")->trigger();
    ASSERT_EQ(shown.failures.size(), 1);
    EXPECT_TRUE(shown.failures[0].contains("/nonexistent/missing.html"));
    EXPECT_EQ(w.windowTitle(), "Corvane 2.5");
    EXPECT_TRUE(w.isVisible());
}

}  // namespace
}  // namespace corvane::qt
