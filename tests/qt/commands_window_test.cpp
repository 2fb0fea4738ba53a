#include <gtest/gtest.h>

#include <QClipboard>
#include <QColorDialog>
#include <QFontDialog>
#include <QMenu>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>

#include "qt/long_lines.h"
#include "window_test_support.h"

namespace corvane::qt {
namespace {

using testing::ShownWindow;
using testing::whenModalOpens;

class CommandsWindow : public ::testing::Test {
protected:
    ShownWindow shown;
    MainWindow& w = shown.window;

    // Puts text in the HTML pane and forgets that it was a change, so later marks come from the command.
    void setHtml(const QString& text) {
        w.pane(1)->setPlainText(text);
        w.form().htmlDirty = 0;
    }

    void selectInHtml(int start, int end) {
        QTextCursor cursor = w.pane(1)->textCursor();
        cursor.setPosition(start);
        cursor.setPosition(end, QTextCursor::KeepAnchor);
        w.pane(1)->setTextCursor(cursor);
    }
};

TEST_F(CommandsWindow, ClipboardCommandsUseTheHtmlSelectionWhileAnotherPaneHasTheFocus) {
    w.pane(1)->setPlainText(QStringLiteral("alpha beta gamma"));
    selectInHtml(6, 10);
    w.pane(2)->setPlainText(QStringLiteral("css text"));
    w.pane(2)->selectAll();
    w.pane(2)->setFocus();
    w.menuAction("mnuEditCopy")->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "beta");
    w.menuAction("mnuEditCut")->trigger();
    EXPECT_EQ(w.pane(1)->toPlainText(), "alpha  gamma");
    EXPECT_EQ(w.label(1)->text(), "HTML代码编辑区(未保存)");
    EXPECT_EQ(w.pane(2)->toPlainText(), "css text");
    QGuiApplication::clipboard()->setText(QStringLiteral("粘贴的"));
    w.toolAction("粘贴")->trigger();
    EXPECT_EQ(w.pane(1)->toPlainText(), "alpha 粘贴的 gamma");
}

TEST_F(CommandsWindow, CopyingFormattedTextPutsOnlyItsCharactersOnTheClipboard) {
    w.pane(1)->setPlainText(QStringLiteral("bold red"));
    w.pane(1)->selectAll();
    w.form().mnuTxtBold_Click();
    w.pane(1)->setSelColor(0x0000ff);
    w.menuAction("mnuEditCopy")->trigger();
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    EXPECT_EQ(data->text(), "bold red");
    EXPECT_FALSE(data->hasHtml());
}

// A line of 6,000 letters is held in pieces of kPieceLength with a joint after each; a selection
// over a joint copies and cuts the characters on either side of it, and nothing between them.
TEST_F(CommandsWindow, CopyAndCutOverTheJointOfALongLineTakeTheLineAsItIs) {
    std::string line;
    for (int i = 0; i < 6000; ++i) line += static_cast<char>('a' + i % 26);
    w.pane(1)->setText(line);
    ASSERT_GT(w.pane(1)->document()->blockCount(), 1);
    const QString expected = QString::fromStdString(line.substr(kPieceLength - 10, 20));
    selectInHtml(kPieceLength - 10, kPieceLength + 11);
    w.menuAction("mnuEditCopy")->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), expected);
    QGuiApplication::clipboard()->clear();
    w.pane(1)->copy();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), expected);
    w.pane(1)->selectAll();
    w.pane(1)->copy();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromStdString(line));

    selectInHtml(kPieceLength - 10, kPieceLength + 11);
    w.menuAction("mnuEditCut")->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), expected);
    EXPECT_TRUE(w.pane(1)->plainText() == line.substr(0, kPieceLength - 10) + line.substr(kPieceLength + 10));
}

TEST_F(CommandsWindow, PasteWithAnImageOnTheClipboardDeletesTheSelection) {
    w.pane(1)->setPlainText(QStringLiteral("keep drop keep"));
    selectInHtml(5, 10);
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::red);
    QGuiApplication::clipboard()->setImage(image);
    w.menuAction("mnuEditPaste")->trigger();
    EXPECT_EQ(w.pane(1)->toPlainText(), "keep keep");
}

// Data from outside with no text in it (the X clipboard nobody owns offers data without a single
// format; a picture; a drop from a file manager of something that is no text) inserts nothing by any
// way it comes in, in every pane; text that is there comes in as before.
TEST_F(CommandsWindow, OutsideDataWithoutTextInsertsNothingInAnyPane) {
    const auto drop = [](RichEditWidget* pane, const QMimeData& data) {
        QWidget* target = pane->viewport();
        const QPointF at = target->rect().center();
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &dropped);
    };
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::red);
    for (int number = 1; number <= 3; ++number) {
        RichEditWidget* pane = w.pane(number);
        pane->setPlainText(QStringLiteral("keep 中文"));
        w.form().htmlDirty = w.form().cssDirty = w.form().jsDirty = 0;
        pane->setFocus();
        pane->moveCursor(QTextCursor::End);
        // Owned by nobody (on X and Wayland), then owned with data of no format at all.
        QGuiApplication::clipboard()->clear();
        QGuiApplication::clipboard()->clear(QClipboard::Selection);
        QTest::keyClick(pane, Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(pane, Qt::Key_Insert, Qt::ShiftModifier);
        QTest::mouseClick(pane->viewport(), Qt::MiddleButton, {}, pane->viewport()->rect().center());
        QGuiApplication::clipboard()->setMimeData(new QMimeData);
        QTest::keyClick(pane, Qt::Key_V, Qt::ControlModifier);
        QGuiApplication::clipboard()->setImage(image);
        QTest::keyClick(pane, Qt::Key_V, Qt::ControlModifier);
        QMimeData picture;
        picture.setImageData(image);
        drop(pane, picture);
        drop(pane, QMimeData());
        EXPECT_EQ(pane->toPlainText(), "keep 中文") << "pane " << number;
        EXPECT_EQ(w.form().htmlDirty | w.form().cssDirty | w.form().jsDirty, 0) << "pane " << number;

        QGuiApplication::clipboard()->setText(QStringLiteral(" 粘贴"));
        QTest::keyClick(pane, Qt::Key_V, Qt::ControlModifier);
        QMimeData text;
        text.setText(QStringLiteral("!"));
        pane->moveCursor(QTextCursor::End);
        drop(pane, text);
        EXPECT_EQ(pane->toPlainText(), "keep 中文 粘贴!") << "pane " << number;
    }
}

TEST_F(CommandsWindow, BoldTwiceRestoresTheSelectionAndAMixedSelectionBecomesBold) {
    setHtml(QStringLiteral("one two"));
    selectInHtml(0, 3);
    w.toolAction("粗体")->trigger();
    EXPECT_EQ(w.pane(1)->selBold(), Tristate::True);
    selectInHtml(0, 7);
    EXPECT_EQ(w.pane(1)->selBold(), Tristate::Mixed);
    w.menuAction("mnuTxtBold")->trigger();
    EXPECT_EQ(w.pane(1)->selBold(), Tristate::True);
    w.menuAction("mnuTxtBold")->trigger();
    EXPECT_EQ(w.pane(1)->selBold(), Tristate::False);
    EXPECT_FALSE(w.toolAction("粗体")->isChecked());
    EXPECT_EQ(w.form().htmlDirty, 0);
}

TEST_F(CommandsWindow, AlignmentMarksAndTheToolbarGroupAreIndependent) {
    selectInHtml(0, 40);
    w.menuAction("mnuTxtR")->trigger();
    w.menuAction("mnuTxtC")->trigger();
    EXPECT_TRUE(w.menuAction("mnuTxtC")->isChecked());
    EXPECT_FALSE(w.menuAction("mnuTxtR")->isChecked());
    EXPECT_FALSE(w.menuAction("mnuTxtL")->isChecked());
    EXPECT_EQ(w.pane(1)->selAlignment(), 2);
    EXPECT_TRUE(w.pane(1)->document()->firstBlock().blockFormat().alignment() & Qt::AlignHCenter);
    EXPECT_TRUE(w.pane(1)->document()->firstBlock().next().blockFormat().alignment() & Qt::AlignHCenter);

    auto* left = w.toolBar()->widgetForAction(w.toolAction("左对齐"));
    QTest::mouseClick(left, Qt::LeftButton);
    EXPECT_TRUE(w.toolAction("左对齐")->isChecked());
    EXPECT_TRUE(w.menuAction("mnuTxtL")->isChecked());
    w.menuAction("mnuTxtR")->trigger();
    EXPECT_TRUE(w.menuAction("mnuTxtR")->isChecked());
    EXPECT_TRUE(w.toolAction("左对齐")->isChecked());
    EXPECT_FALSE(w.toolAction("右对齐")->isChecked());
    EXPECT_EQ(w.pane(1)->selAlignment(), 1);
}

TEST_F(CommandsWindow, RealFontDialogAppliesOnOkAndNothingOnCancel) {
    w.pane(1)->setPlainText(QStringLiteral("styled text"));
    selectInHtml(0, 6);
    whenModalOpens([](QWidget* modal) {
        auto* dialog = qobject_cast<QFontDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        QFont font = dialog->currentFont();
        font.setPointSize(30);
        font.setItalic(true);
        dialog->setCurrentFont(font);
        QMetaObject::invokeMethod(dialog, "accept");
    });
    w.menuAction("mnuTxtFont")->trigger();
    EXPECT_EQ(w.pane(1)->selFontSize(), 30.0f);
    EXPECT_EQ(w.pane(1)->selItalic(), Tristate::True);
    EXPECT_EQ(w.commonDialog().props().Flags, 3);

    selectInHtml(7, 11);
    whenModalOpens([](QWidget* modal) { QMetaObject::invokeMethod(modal, "reject"); });
    w.menuAction("mnuTxtFont")->trigger();
    EXPECT_EQ(w.pane(1)->selItalic(), Tristate::False);
    EXPECT_NE(w.pane(1)->selFontSize(), 30.0f);
}

TEST_F(CommandsWindow, RealColourDialogAppliesOnOkAndNothingOnCancel) {
    setHtml(QStringLiteral("colour"));
    w.pane(1)->selectAll();
    const std::int32_t before = w.pane(1)->selColor();
    whenModalOpens([](QWidget* modal) { QMetaObject::invokeMethod(modal, "reject"); });
    w.toolAction("字体颜色")->trigger();
    EXPECT_EQ(w.pane(1)->selColor(), before);
    whenModalOpens([](QWidget* modal) {
        auto* dialog = qobject_cast<QColorDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        dialog->setCurrentColor(QColor(0, 128, 255));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    w.menuAction("mnuTxtColor")->trigger();
    EXPECT_EQ(w.pane(1)->selColor(), 0xff8000);
    EXPECT_EQ(w.form().htmlDirty, 0);
}

TEST_F(CommandsWindow, AToolbarSaveThatFailsIsReported) {
    whenModalOpens(
        [](QWidget* modal) { testing::acceptFileDialog(modal, "/proc/corvane-cannot-write.html"); });
    w.toolAction("保存")->trigger();
    ASSERT_EQ(shown.failures.size(), 1);
    EXPECT_TRUE(shown.failures[0].contains("/proc/corvane-cannot-write.html"));
    EXPECT_EQ(w.form().htm, "");
}

TEST_F(CommandsWindow, TheContextMenuOfAPaneOffersItsOwnClipboardCommands) {
    w.pane(2)->setPlainText(QStringLiteral("css"));
    w.pane(2)->selectAll();
    std::unique_ptr<QMenu> menu(w.pane(2)->createStandardContextMenu());
    QStringList texts;
    for (QAction* action : menu->actions()) texts << action->text();
    // In Chinese, as the rest of the window.
    EXPECT_TRUE(texts.join('|').contains("剪切(&T)"));
    EXPECT_TRUE(texts.join('|').contains("复制(&C)"));
    EXPECT_TRUE(texts.join('|').contains("粘贴(&P)"));
}

}  // namespace
}  // namespace corvane::qt
