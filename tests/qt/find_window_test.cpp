#include <gtest/gtest.h>

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QFile>
#include <QInputMethodEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBlock>

#include "qt/find_bar.h"
#include "window_test_support.h"

namespace corvane::qt {
namespace {

using testing::acceptFileDialog;
using testing::ShownWindow;
using testing::whenModalOpens;

class FindWindow : public ::testing::Test {
protected:
    ShownWindow shown;
    MainWindow& w = shown.window;
    QTemporaryDir dir;

    FindBar* bar(int pane) { return w.pane(pane)->findChild<FindBar*>(); }

    // Puts `text` in a pane, as Open puts a file there, and gives the pane the focus.
    void fill(int pane, const QString& text) {
        w.pane(pane)->loadPlainText(text.toStdString());
        w.pane(pane)->setFocus();
        QTextCursor start(w.pane(pane)->document());
        w.pane(pane)->setTextCursor(start);
    }
    // Opens the bar with its key and types what to find.
    FindBar* find(int pane, const QString& what, bool replace = false) {
        QTest::keyClick(w.pane(pane), replace ? Qt::Key_H : Qt::Key_F, Qt::ControlModifier);
        FindBar* b = bar(pane);
        EXPECT_TRUE(b->isVisible());
        EXPECT_TRUE(b->findField()->hasFocus());
        QTest::keyClicks(b->findField(), what);
        return b;
    }
    // Chinese comes from the input method, as a person types it.
    static void type(QWidget* field, const QString& text) {
        QInputMethodEvent event;
        event.setCommitString(text);
        QApplication::sendEvent(field, &event);
    }
    QCheckBox* option(FindBar* b, const char* caption) {
        for (auto* box : b->findChildren<QCheckBox*>())
            if (box->accessibleName() == QString::fromUtf8(caption)) return box;
        return nullptr;
    }
    QPushButton* button(FindBar* b, const char* caption) {
        for (auto* push : b->findChildren<QPushButton*>())
            if (push->accessibleName() == QString::fromUtf8(caption)) return push;
        return nullptr;
    }
    QString selected(int pane) { return w.pane(pane)->textCursor().selectedText(); }
    int selectionStart(int pane) { return w.pane(pane)->textCursor().selectionStart(); }
    void writeFile(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    // Save through the File menu: the opened page has no name of its own yet, so Save asks for one.
    QByteArray save() {
        const QString path = dir.filePath("saved.html");
        whenModalOpens([path](QWidget* modal) { acceptFileDialog(modal, path); });
        w.menuAction("mnuFileSave")->trigger();
        return readFile(path);
    }
    QByteArray readFile(const QString& path) {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return file.readAll();
    }
    // Open through the real dialog; a message box that follows (unreadable bytes) is closed.
    void open(const QString& path) {
        whenModalOpens([path](QWidget* modal) {
            acceptFileDialog(modal, path);
            whenModalOpens(
                [](QWidget* box) {
                    if (auto* message = qobject_cast<QMessageBox*>(box)) message->accept();
                },
                3000);
        });
        QTest::keyClick(w.pane(1), Qt::Key_F1);
        w.activateWindow();
        QTRY_VERIFY(w.isActiveWindow());
    }
};

TEST_F(FindWindow, EnterAndShiftEnterStepThroughTheMatchesRoundTheEndsInEachPane) {
    for (int pane = 1; pane <= 3; ++pane) {
        SCOPED_TRACE(pane);
        const QString text = "alpha beta Alpha\ngamma ALPHA";
        fill(pane, text);
        w.form().htmlDirty = w.form().cssDirty = w.form().jsDirty = 0;
        FindBar* b = find(pane, "alpha");
        EXPECT_EQ(b->countText(), "第 1 / 3 个");
        EXPECT_EQ(selectionStart(pane), 0);
        // The bar lies below the text, never over it.
        EXPECT_GE(b->geometry().top(), w.pane(pane)->viewport()->geometry().bottom());
        QTest::keyClick(b->findField(), Qt::Key_Return);
        EXPECT_EQ(b->countText(), "第 2 / 3 个");
        EXPECT_EQ(selected(pane), "Alpha");
        QTest::keyClick(b->findField(), Qt::Key_Return);
        EXPECT_EQ(selected(pane), "ALPHA");
        EXPECT_TRUE(b->noteText().isEmpty());
        QTest::keyClick(b->findField(), Qt::Key_Return);
        EXPECT_EQ(selectionStart(pane), 0);
        EXPECT_EQ(b->noteText(), "已到结尾，从开头继续查找");
        EXPECT_EQ(b->countText(), "第 1 / 3 个");
        QTest::keyClick(b->findField(), Qt::Key_Return, Qt::ShiftModifier);
        EXPECT_EQ(selected(pane), "ALPHA");
        EXPECT_EQ(b->noteText(), "已到开头，从结尾继续查找");
        // Every match on screen is highlighted, and none of it is a change.
        EXPECT_EQ(w.pane(pane)->extraSelections().size(), 4);
        EXPECT_EQ(w.pane(pane)->toPlainText(), text);
        EXPECT_EQ(w.form().htmlDirty + w.form().cssDirty + w.form().jsDirty, 0);
        // Esc gives the pane back the focus, the match selected, the highlights gone.
        QTest::keyClick(b->findField(), Qt::Key_Escape);
        EXPECT_FALSE(b->isVisible());
        EXPECT_TRUE(w.pane(pane)->hasFocus());
        EXPECT_EQ(selected(pane), "ALPHA");
        EXPECT_TRUE(w.pane(pane)->extraSelections().isEmpty());
    }
}

TEST_F(FindWindow, OptionsNarrowTheMatchesAndABadPatternSaysWhy) {
    fill(2, "Word word words sword word.");
    FindBar* b = find(2, "word");
    EXPECT_EQ(b->countText(), "第 1 / 5 个");
    option(b, "区分大小写")->click();
    EXPECT_EQ(b->countText(), "第 1 / 4 个");
    EXPECT_EQ(selectionStart(2), 5);
    option(b, "全词匹配")->click();
    EXPECT_EQ(b->countText(), "第 1 / 2 个");
    QTest::keyClick(b->findField(), Qt::Key_Return);
    EXPECT_EQ(selectionStart(2), 22);
    option(b, "区分大小写")->click();
    option(b, "正则表达式")->click();
    b->findField()->clear();
    QTest::keyClicks(b->findField(), "w(or");
    EXPECT_NE(b->noteText().indexOf("正则表达式有误"), -1) << b->noteText().toStdString();
    EXPECT_NE(b->noteText().indexOf("缺少右括号"), -1);
    EXPECT_EQ(b->countText(), "无匹配");
    QTest::keyClicks(b->findField(), ")d");
    EXPECT_TRUE(b->noteText().isEmpty());
    // Typing on finds from the match the steps reached.
    EXPECT_EQ(b->countText(), "第 3 / 3 个");
    // A selection opens the bar with it as the text to find.
    b->findField()->clear();
    QTest::keyClick(b->findField(), Qt::Key_Escape);
    QTextCursor cursor(w.pane(2)->document());
    cursor.setPosition(16);
    cursor.setPosition(21, QTextCursor::KeepAnchor);
    w.pane(2)->setTextCursor(cursor);
    QTest::keyClick(w.pane(2), Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(b->findField()->text(), "sword");
    EXPECT_EQ(b->countText(), "第 1 / 1 个");
}

TEST_F(FindWindow, AnEndlessPatternStopsAtTheLimitWithAMessage) {
    fill(3, QString(40, 'a') + "!");
    FindBar* b = find(3, "");
    option(b, "正则表达式")->click();
    QTest::keyClicks(b->findField(), "(a+)+$");
    EXPECT_EQ(b->noteText(), "表达式过于复杂，查找已在限制处停止");
    EXPECT_TRUE(b->countText().isEmpty());
    EXPECT_TRUE(w.pane(3)->extraSelections().isEmpty());
    QTest::keyClick(b->findField(), Qt::Key_Return);
    EXPECT_EQ(b->noteText(), "表达式过于复杂，查找已在限制处停止");
}

TEST_F(FindWindow, ReplaceAllIsOneChangeAndOneUndoStepInEachPaneWithGroupReferences) {
    for (int pane = 1; pane <= 3; ++pane) {
        SCOPED_TRACE(pane);
        const QString text = "a=1; bb=22;\nccc=333;";
        fill(pane, text);
        // Text-menu formatting around the matches stays.
        QTextCursor bold(w.pane(pane)->document());
        bold.setPosition(3);
        bold.setPosition(5, QTextCursor::KeepAnchor);
        QTextCharFormat format;
        format.setFontWeight(QFont::Bold);
        bold.mergeCharFormat(format);
        w.form().htmlDirty = w.form().cssDirty = w.form().jsDirty = 0;
        int changes = 0;
        auto earlier = w.pane(pane)->onChange;
        w.pane(pane)->onChange = [&] {
            ++changes;
            earlier();
        };
        FindBar* b = find(pane, "", true);
        option(b, "正则表达式")->setChecked(true);
        QTest::keyClicks(b->findField(), "(\\w+)=(\\d+)");
        EXPECT_EQ(b->countText(), "第 1 / 3 个");
        QTest::keyClicks(b->replaceField(), "\\2:\\1");
        button(b, "全部替换")->click();
        EXPECT_EQ(w.pane(pane)->toPlainText(), "1:a; 22:bb;\n333:ccc;");
        EXPECT_EQ(changes, 1);
        EXPECT_EQ(b->noteText(), "已替换 3 处");
        const int dirty = pane == 1 ? w.form().htmlDirty : pane == 2 ? w.form().cssDirty : w.form().jsDirty;
        EXPECT_EQ(dirty, kTrue);
        const char* headers[] = {"HTML代码编辑区(未保存)", "CSS代码编辑区(未保存)", "JS代码编辑区(未保存)"};
        EXPECT_EQ(w.label(pane == 1 ? 1 : pane + 2)->text(), QString::fromUtf8(headers[pane - 1]));
        // The "; " after the first replacement kept its bold.
        QTextCursor after(w.pane(pane)->document());
        after.setPosition(4);
        EXPECT_EQ(after.charFormat().fontWeight(), QFont::Bold);
        QTest::keyClick(b->findField(), Qt::Key_Escape);
        QTest::keyClick(w.pane(pane), Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(w.pane(pane)->toPlainText(), text);
        w.pane(pane)->onChange = earlier;
    }
}

TEST_F(FindWindow, ReplaceOneReplacesTheMatchAndGoesToTheNext) {
    fill(1, "x y x y x");
    FindBar* b = find(1, "x", true);
    QTest::keyClicks(b->replaceField(), "zz");
    button(b, "替换")->click();
    EXPECT_EQ(w.pane(1)->toPlainText(), "zz y x y x");
    EXPECT_EQ(selectionStart(1), 5);
    EXPECT_EQ(b->countText(), "第 1 / 2 个");
}

TEST_F(FindWindow, TheContextMenuOpensTheBar) {
    fill(2, "text");
    QMenu* menu = nullptr;
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                            w.pane(2)->viewport()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(w.pane(2)->viewport(), &event);
    QTRY_VERIFY((menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) != nullptr);
    QAction* replace = nullptr;
    QStringList captions;
    for (QAction* action : menu->actions()) {
        captions << action->text();
        if (action->text() == "替换...") replace = action;
    }
    EXPECT_TRUE(captions.contains("查找...")) << captions.join('|').toStdString();
    ASSERT_NE(replace, nullptr);
    replace->trigger();
    menu->close();
    EXPECT_TRUE(bar(2)->isVisible());
    EXPECT_TRUE(bar(2)->replaceField()->isVisible());
}

TEST_F(FindWindow, AMatchOverAJointOfALongLineIsReplacedWholeAndTheRestSavedAsItWas) {
    // A line of 5,000 characters without a place to break: its pieces end every 400 characters.
    QByteArray line(5000, 'x');
    line.replace(397, 6, "NEEDLE");
    line.replace(2500, 6, "NEEDLE");
    const QByteArray bytes = "<p>\r\n" + line + "\r\nend NEEDLE\r\n";
    const QString path = dir.filePath("long.html");
    writeFile(path, bytes);
    open(path);
    QTextDocument& doc = *w.pane(1)->document();
    ASSERT_GT(doc.blockCount(), 10);
    w.pane(1)->setFocus();
    FindBar* b = find(1, "needle", true);
    EXPECT_EQ(b->countText(), "第 1 / 3 个");
    // The first match runs over a joint and is selected whole.
    EXPECT_EQ(w.pane(1)->textCursor().selectedText().remove(QChar::ParagraphSeparator), "NEEDLE");
    EXPECT_NE(doc.findBlock(w.pane(1)->textCursor().selectionStart()),
              doc.findBlock(w.pane(1)->textCursor().selectionEnd()));
    QTest::keyClicks(b->replaceField(), "pin");
    button(b, "全部替换")->click();
    QTest::keyClick(b->findField(), Qt::Key_Escape);
    QByteArray expected = bytes;
    expected.replace("NEEDLE", "pin");
    EXPECT_EQ(save(), expected);
    EXPECT_TRUE(shown.failures.isEmpty()) << shown.failures.join('\n').toStdString();
}

TEST_F(FindWindow, ChineseInAGb18030FileIsFoundAndSavedBackInIt) {
    // "中文查找，全角ＡＢＣ" in GB18030, then a byte GB18030 cannot read.
    const QByteArray chinese =
        "\xd6\xd0\xce\xc4\xb2\xe9\xd5\xd2\xa3\xac\xc8\xab\xbd\xc7\xa3\xc1\xa3\xc2\xa3\xc3";
    const QByteArray bytes = "<meta charset=\"gbk\">\n<p>" + chinese + "\xff</p>\n";
    const QString path = dir.filePath("gb.html");
    writeFile(path, bytes);
    open(path);
    w.pane(1)->setFocus();
    FindBar* b = find(1, "", true);
    type(b->findField(), "查找");
    EXPECT_EQ(b->countText(), "第 1 / 1 个");
    // Full-width letters, whatever their case.
    b->findField()->clear();
    type(b->findField(), "ａｂｃ");
    EXPECT_EQ(b->countText(), "第 1 / 1 个");
    b->findField()->clear();
    type(b->findField(), "查找");
    type(b->replaceField(), "搜索");
    button(b, "替换")->click();
    EXPECT_EQ(b->countText(), "无匹配");
    QByteArray expected = bytes;
    expected.replace("\xb2\xe9\xd5\xd2", "\xcb\xd1\xcb\xf7");
    EXPECT_EQ(save(), expected);
    EXPECT_TRUE(shown.failures.isEmpty()) << shown.failures.join('\n').toStdString();
}

// Many matches over the pieces of a line of 24,000 characters, each replaced where it was.
TEST_F(FindWindow, ReplaceAllInALongLineChangesTheMatchesAndNothingElse) {
    QString line;
    for (int i = 0; i < 600; ++i)
        line += QStringLiteral("<p class=\"r%1\">第 %1 行 marker 与 words</p> ").arg(i);
    fill(1, line);
    FindBar* b = find(1, "marker", true);
    EXPECT_EQ(b->countText(), "第 1 / 600 个");
    QTest::keyClicks(b->replaceField(), "MARK");
    button(b, "全部替换")->click();
    QString expected = line;
    expected.replace("marker", "MARK");
    EXPECT_EQ(QString::fromStdString(w.pane(1)->plainText()), expected);
}

}  // namespace
}  // namespace corvane::qt
