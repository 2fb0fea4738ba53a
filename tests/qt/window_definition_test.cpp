#include <gtest/gtest.h>

#include <QActionGroup>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QToolButton>

#include "app/captions.h"
#include "app/window_definition.h"
#include "qt/colors.h"
#include "qt/twips.h"
#include "window_test_support.h"

namespace corvane::qt {
namespace {

using testing::ShownWindow;

QString qs(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

class WindowDefinition : public ::testing::Test {
protected:
    ShownWindow shown;
    MainWindow& w = shown.window;
};

TEST_F(WindowDefinition, CaptionClientSizeAndFocus) {
    EXPECT_EQ(w.windowTitle(), "Corvane 2.5");
    EXPECT_EQ(w.client()->size(), QSize(1025, 673));
    EXPECT_EQ(QApplication::focusWidget(), w.pane(1));
    EXPECT_FALSE(w.windowIcon().isNull());
}

TEST_F(WindowDefinition, EveryVisibleControlSitsAtItsDesignGeometry) {
    for (const def::Control& c : def::kControls) {
        if (!c.visual) continue;
        auto* widget = w.findChild<QWidget*>(qs(c.name));
        ASSERT_NE(widget, nullptr) << c.name;
        const QRect expected(toPixels(c.left, widget), toPixels(c.top, widget), toPixels(c.width, widget),
                             toPixels(c.height, widget));
        EXPECT_EQ(widget->geometry(), expected) << c.name;
        if (c.name == "Text2") {
            EXPECT_EQ(widget->parentWidget(), w.toolBar());
        } else {
            EXPECT_EQ(widget->parentWidget(), w.client()) << c.name;
        }
    }
    EXPECT_EQ(w.toolBar()->geometry(), QRect(0, 0, 1025, 27));
    EXPECT_EQ(w.browser()->geometry(), QRect(480, 48, 545, 625));
}

TEST_F(WindowDefinition, StackingPutsTheFirstControlOnTop) {
    // Children are painted in list order: later ones lie above.
    const QObjectList children = w.client()->children();
    auto position = [&](const char* name) {
        for (int i = 0; i < children.size(); ++i) {
            if (children[i]->objectName() == name) return i;
        }
        return -1;
    };
    const char* topFirst[] = {"Command1",     "WebBrowser1",  "tbToolBar", "RichTextBox1",
                              "RichTextBox2", "RichTextBox3", "Label5",    "Label4",
                              "Label3",       "Label2",       "Label1"};
    for (std::size_t i = 0; i + 1 < std::size(topFirst); ++i) {
        EXPECT_GT(position(topFirst[i]), position(topFirst[i + 1]))
            << topFirst[i] << " over " << topFirst[i + 1];
    }
    // At start the HTML pane is the one in front.
    EXPECT_EQ(w.client()->childAt(100, 300), w.pane(1)->viewport());
}

TEST_F(WindowDefinition, TabOrderFollowsTheTabIndexes) {
    QWidget* expected[] = {w.pane(1), w.browser(), w.clockBox(), w.runButton(), w.pane(2), w.pane(3)};
    for (std::size_t i = 0; i + 1 < std::size(expected); ++i) {
        QWidget* next = expected[i]->nextInFocusChain();
        while (next->focusPolicy() == Qt::NoFocus || !next->isVisible()) next = next->nextInFocusChain();
        EXPECT_EQ(next, expected[i + 1]) << i;
    }
    for (int i = 1; i <= 5; ++i) EXPECT_EQ(w.label(i)->focusPolicy(), Qt::NoFocus);
}

TEST_F(WindowDefinition, LabelsCaptionsTooltipsAndColours) {
    EXPECT_EQ(w.label(1)->text(), "HTML代码编辑区");
    EXPECT_EQ(w.label(2)->text(), "结果显示区：");
    EXPECT_EQ(w.label(3)->text(), "向开发者提交建议以及错误");
    EXPECT_EQ(w.label(4)->text(), "CSS代码编辑区");
    EXPECT_EQ(w.label(5)->text(), "JS代码编辑区");
    for (int i : {1, 4, 5}) EXPECT_EQ(w.label(i)->toolTip(), "双击此处保存");
    EXPECT_EQ(w.label(3)->cursor().shape(), Qt::PointingHandCursor);
    const QPalette app = QApplication::palette();
    EXPECT_EQ(w.label(1)->palette().color(QPalette::Window), systemColor(kInactiveTitleBarColor, app));
    EXPECT_EQ(w.label(4)->palette().color(QPalette::Window), systemColor(kButtonFaceColor, app));
    EXPECT_NE(systemColor(kInactiveTitleBarColor, app), systemColor(kButtonFaceColor, app));
    EXPECT_EQ(w.runButton()->text(), "运行结果");
    EXPECT_EQ(w.clockBox()->QLineEdit::text(), "Text2");
}

TEST_F(WindowDefinition, PanesStartWithSampleFontScrollBarsAndNoWrap) {
    EXPECT_EQ(w.pane(1)->toPlainText(), qs(def::sampleText()));
    EXPECT_EQ(w.pane(1)->document()->blockCount(), 8);
    EXPECT_TRUE(w.pane(2)->toPlainText().isEmpty());
    EXPECT_TRUE(w.pane(3)->toPlainText().isEmpty());
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(w.pane(i)->lineWrapMode(), QPlainTextEdit::NoWrap);
        EXPECT_EQ(w.pane(i)->font().pointSize(), 12);
        EXPECT_EQ(w.pane(i)->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    }
    EXPECT_EQ(w.pane(1)->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(w.pane(2)->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(w.pane(3)->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_TRUE(QFontInfo(w.pane(1)->font()).family().contains("CJK") ||
                QFontInfo(w.pane(1)->font()).family() == "微软雅黑");
    EXPECT_EQ(w.form().htmlDirty, 0);
    EXPECT_EQ(w.label(1)->text(), "HTML代码编辑区");
}

TEST_F(WindowDefinition, MenusMatchTheDefinitionWithExactlyFourShortcuts) {
    int shortcuts = 0;
    for (const def::Menu& m : def::kMenus) {
        QAction* action = w.menuAction(m.name);
        ASSERT_NE(action, nullptr) << m.name;
        if (m.level == def::MenuLevel::Separator) {
            EXPECT_TRUE(action->isSeparator()) << m.name;
            EXPECT_TRUE(m.handler == nullptr) << m.name;
            continue;
        }
        // Every item runs its handler; a bar entry either opens its menu or is a command itself.
        EXPECT_EQ(m.handler != nullptr, m.level == def::MenuLevel::Item || action->menu() == nullptr)
            << m.name;
        EXPECT_EQ(action->text(), qs(m.caption)) << m.name;
        EXPECT_EQ(action->isChecked(), m.checked) << m.name;
        EXPECT_TRUE(action->isEnabled());
        EXPECT_EQ(action->shortcut(), QKeySequence(qs(m.shortcut))) << m.name;
        if (!action->shortcut().isEmpty()) ++shortcuts;
    }
    EXPECT_EQ(shortcuts, 4);
    EXPECT_EQ(w.menuAction("mnuFileNew")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));
    EXPECT_EQ(w.menuAction("mnuFileOpen")->shortcut(), QKeySequence(Qt::Key_F1));
    // The bar in order, Qzone a command on the bar itself.
    QStringList bar;
    for (QAction* a : w.menuBar()->actions()) bar << a->text();
    EXPECT_EQ(bar, QStringList({"文件(&F)", "编辑(&E)", "视图(&V)", "文字(&T)", "Qzone"}));
    EXPECT_EQ(w.menuAction("qzone")->menu(), nullptr);
}

TEST_F(WindowDefinition, ToolbarHasSixteenEntriesWithKeysTooltipsAndImages) {
    const QList<QAction*> actions = w.toolBar()->actions();
    ASSERT_EQ(actions.size(), 16);
    for (int i = 0; i < 16; ++i) {
        const def::ToolButton& b = def::kToolButtons[static_cast<std::size_t>(i)];
        if (b.kind == def::ButtonKind::Separator) {
            EXPECT_TRUE(actions[i]->isSeparator());
            continue;
        }
        EXPECT_EQ(actions[i]->data().toString(), qs(b.key));
        EXPECT_EQ(actions[i]->toolTip(), qs(b.key));
        EXPECT_FALSE(actions[i]->icon().isNull()) << b.key;
        EXPECT_EQ(actions[i]->isCheckable(), b.kind == def::ButtonKind::Group);
        EXPECT_FALSE(actions[i]->isChecked());
        auto* button = qobject_cast<QToolButton*>(w.toolBar()->widgetForAction(actions[i]));
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->size(), QSize(23, 21));
        EXPECT_EQ(button->toolButtonStyle(), Qt::ToolButtonIconOnly);
    }
    QActionGroup* group = w.toolAction("左对齐")->actionGroup();
    ASSERT_NE(group, nullptr);
    EXPECT_TRUE(group->isExclusive());
    EXPECT_EQ(w.toolAction("置中")->actionGroup(), group);
    EXPECT_EQ(w.toolAction("右对齐")->actionGroup(), group);
    EXPECT_EQ(w.toolAction("粗体")->actionGroup(), nullptr);
}

TEST_F(WindowDefinition, TheClockReplacesItsTextWithinATick) {
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.clockBox()->QLineEdit::text().startsWith("现在是:"); }, 2000));
    EXPECT_EQ(w.timer()->interval(), 100);
}

}  // namespace
}  // namespace corvane::qt
