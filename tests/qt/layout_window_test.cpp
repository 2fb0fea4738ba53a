#include <gtest/gtest.h>

#include <QPushButton>

#include "app/window_definition.h"
#include "qt/twips.h"
#include "window_test_support.h"

namespace corvane::qt {
namespace {

using testing::ShownWindow;

QString qs(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

class LayoutWindow : public ::testing::Test {
protected:
    ShownWindow shown;
    MainWindow& w = shown.window;

    void resizeClient(int width, int height) {
        const int extra = w.height() - w.client()->height();
        w.resize(width, height + extra);
        QTest::qWait(20);
        ASSERT_EQ(w.client()->size(), QSize(width, height));
    }

    // Where the layout puts a control: its design geometry scaled by whole percentages.
    void expectScaled(int widthPercent, int heightPercent) {
        for (const def::Control& c : def::kControls) {
            if (!c.visual) continue;
            auto* widget = w.findChild<QWidget*>(qs(c.name));
            const QRect expected(toPixels(c.left * widthPercent / 100, widget),
                                 toPixels(c.top * heightPercent / 100, widget),
                                 toPixels(c.width * widthPercent / 100, widget),
                                 toPixels(c.height * heightPercent / 100, widget));
            EXPECT_EQ(widget->geometry(), expected)
                << c.name << " at " << widthPercent << "% x " << heightPercent << "%";
        }
    }
};

TEST_F(LayoutWindow, DoublingTheWidthDoublesLeftsAndWidthsOnly) {
    resizeClient(2050, 673);
    expectScaled(200, 100);
}

TEST_F(LayoutWindow, ShrinkingScalesByWholePercentagesWithoutDrift) {
    resizeClient(800, 500);  // 78 % and 74 %
    expectScaled(78, 74);
    resizeClient(1300, 900);
    expectScaled(126, 133);
    resizeClient(1025, 673);
    expectScaled(100, 100);
}

TEST_F(LayoutWindow, MinimisingCollapsesAndRestoringBringsEverythingBack) {
    w.showMinimized();
    QTest::qWait(20);
    for (const char* name : {"RichTextBox1", "WebBrowser1", "Command1", "Label3"}) {
        EXPECT_EQ(w.findChild<QWidget*>(name)->geometry(), QRect(0, 0, 0, 0)) << name;
    }
    w.showNormal();
    QTest::qWait(20);
    expectScaled(100, 100);
}

TEST_F(LayoutWindow, AHeaderClicksHeightsAreReplacedAtTheNextResize) {
    resizeClient(1025, 900);
    QTest::mouseClick(w.label(5), Qt::LeftButton);
    EXPECT_EQ(w.pane(3)->height(), 625);  // the fixed design height, not the scaled one
    EXPECT_EQ(w.pane(1)->height(), 0);
    resizeClient(1025, 910);
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(w.pane(i)->height(), toPixels(9375 * 135 / 100, w.pane(i))) << i;
    EXPECT_EQ(w.form().jsSelected, 1);
    EXPECT_EQ(w.client()->childAt(100, 300), w.pane(1)->viewport());
}

TEST_F(LayoutWindow, TheClockStaysInsideTheToolbarAndTheToolbarHidesWithoutRelayout) {
    resizeClient(1500, 673);
    EXPECT_EQ(w.clockBox()->parentWidget(), w.toolBar());
    const QRect paneBefore = w.pane(1)->geometry();
    w.menuAction("mnuViewToolbar")->trigger();
    EXPECT_FALSE(w.toolBar()->isVisible());
    EXPECT_FALSE(w.clockBox()->isVisible());
    EXPECT_FALSE(w.menuAction("mnuViewToolbar")->isChecked());
    EXPECT_TRUE(w.runButton()->isVisible());
    EXPECT_EQ(w.pane(1)->geometry(), paneBefore);
    w.menuAction("mnuViewToolbar")->trigger();
    EXPECT_TRUE(w.toolBar()->isVisible());
    EXPECT_TRUE(w.menuAction("mnuViewToolbar")->isChecked());
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.clockBox()->QLineEdit::text().startsWith("现在是:"); }, 2000));
}

}  // namespace
}  // namespace corvane::qt
