#include <gtest/gtest.h>

#include <vector>

#include "fake_layout.h"
#include "layout/proportional_layout.h"

using namespace corvane;
using corvane::testing::FakeControl;
using corvane::testing::FakeWindow;
using LayoutPass = corvane::testing::LayoutTest;
using LayoutLine = corvane::testing::LayoutTest;
using LayoutFailures = corvane::testing::LayoutTest;

namespace {

using Move = FakeControl::Move;

// The three requests one pass makes of a box control.
std::vector<Move> fullPass(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height) {
    return {{left, top, width, height},
            {left, top, width, std::nullopt},
            {left, top, std::nullopt, std::nullopt}};
}

std::vector<Move> lastPass(const FakeControl& c) {
    if (c.moves.size() < 3) {
        return c.moves;
    }
    return {c.moves.end() - 3, c.moves.end()};
}

void expectBox(const FakeControl& c, double left, double top, double width, double height) {
    EXPECT_EQ(c["Left"], left) << c.controlName;
    EXPECT_EQ(c["Top"], top) << c.controlName;
    EXPECT_EQ(c["Width"], width) << c.controlName;
    EXPECT_EQ(c["Height"], height) << c.controlName;
}

}  // namespace

TEST_F(LayoutPass, FirstPassPlacesEveryControlAtItsOwnRoundedGeometry) {
    FakeWindow w("frmM", 9000, 6000);
    auto& pane = w.add(FakeControl::box("RichTextBox1", 120, 480.5, 4500.4, 3000));
    auto& hidden = w.add(FakeControl::box("Command1", -3000, 60, 900, 400));

    w.resizeTo(9000, 6000);

    EXPECT_EQ(formCount, 1);
    EXPECT_EQ(controlCount, 2);
    EXPECT_EQ(pane.moves, fullPass(120, 480, 4500, 3000));
    EXPECT_EQ(hidden.moves, fullPass(-3000, 60, 900, 400));
}

TEST_F(LayoutPass, EveryControlIsRecordedBeforeTheFirstMove) {
    FakeWindow w("frmM", 9000, 6000);
    auto& first = w.add(FakeControl::box("Text1", 0, 0, 100, 100));
    w.add(FakeControl::box("Text2", 0, 0, 100, 100));
    w.add(FakeControl::box("Text3", 0, 0, 100, 100));
    std::int32_t recordedAtFirstMove = -1;
    first.onMove = [&] {
        if (recordedAtFirstMove < 0) {
            recordedAtFirstMove = controlCount;
        }
    };

    w.resizeTo(9000, 6000);

    EXPECT_EQ(recordedAtFirstMove, 3);
}

TEST_F(LayoutPass, MovesAreRequestedWithFourThenThreeThenTwoArguments) {
    FakeWindow w("frmM", 9000, 6000);
    auto& c = w.add(FakeControl::box("Text1", 100, 200, 300, 400));

    w.resizeTo(9000, 6000);
    w.resizeTo(18000, 3000);
    w.resizeTo(4500, 12000);

    const std::vector<std::string> onePass = {"move 4", "move 3", "move 2"};
    std::vector<std::string> moveLog;
    for (const auto& key : c.log) {
        if (key.rfind("move", 0) == 0) {
            moveLog.push_back(key);
        }
    }
    ASSERT_EQ(moveLog.size(), 9U);
    for (std::size_t pass = 0; pass < 3; ++pass) {
        EXPECT_EQ(std::vector<std::string>(moveLog.begin() + 3 * pass, moveLog.begin() + 3 * pass + 3),
                  onePass);
    }
    EXPECT_EQ(lastPass(c), fullPass(50, 400, 150, 800));
}

TEST_F(LayoutPass, DoubledWidthDoublesLeftsAndWidthsOnly) {
    FakeWindow w("frmM", 9000, 6000);
    auto& a = w.add(FakeControl::box("Text1", 120, 480, 4500, 3000));
    auto& b = w.add(FakeControl::box("Label4", 0, 0, 1500, 255));

    w.resizeTo(9000, 6000);
    w.resizeTo(18000, 6000);

    expectBox(a, 240, 480, 9000, 3000);
    expectBox(b, 0, 0, 3000, 255);
}

TEST_F(LayoutPass, WholePercentTruncation) {
    FakeWindow w("frmM", 9000, 6000);
    auto& c = w.add(FakeControl::box("Text1", 333, 0, 1000, 100));
    w.resizeTo(9000, 6000);

    w.resizeTo(9990, 6000);
    expectBox(c, 369, 0, 1110, 100);

    w.resizeTo(9089, 6000);  // under one percent of growth: no change
    expectBox(c, 333, 0, 1000, 100);

    w.resizeTo(8999, 5999);
    expectBox(c, 329, 0, 990, 99);
}

TEST_F(LayoutPass, ControlLeftOfZeroKeepsItsOffsetAtEverySize) {
    FakeWindow w("frmM", 9000, 6000);
    auto& c = w.add(FakeControl::box("Command1", -3000, 0, 900, 400));

    w.resizeTo(9000, 6000);
    EXPECT_EQ(c["Left"], -3000);
    w.resizeTo(4500, 6000);
    EXPECT_EQ(c["Left"], -39000);
    w.resizeTo(10800, 6000);
    EXPECT_EQ(c["Left"], 11400);
    w.resizeTo(9000, 6000);
    // 11400 is no longer left of zero, and the test looks at where the control is now.
    EXPECT_EQ(c["Left"], 72000);
}

TEST_F(LayoutPass, FarLeftControlIsStoredWrappedAndPlacedBack) {
    FakeWindow w("frmM", 9000, 6000);
    auto& c = w.add(FakeControl::box("Text2", -80000, 0, 900, 400));

    w.resizeTo(9000, 6000);
    EXPECT_EQ(controlTable[0].left, -5000);
    EXPECT_EQ(c["Left"], -80000);
    w.resizeTo(4500, 6000);
    EXPECT_EQ(c["Left"], -77500);
}

TEST_F(LayoutPass, ControlMovedLeftOfZeroByOtherCodeIsShifted) {
    FakeWindow w("frmM", 9000, 6000);
    auto& c = w.add(FakeControl::box("Text1", 1200, 0, 900, 400));
    w.resizeTo(9000, 6000);

    c.props["Left"] = -1;
    w.resizeTo(9000, 6000);
    EXPECT_EQ(c["Left"], -73800);
}

TEST_F(LayoutPass, NegativeTestUsesTheValueBeforeRounding) {
    FakeWindow w("frmM", 9000, 6000);
    auto& c = w.add(FakeControl::box("Text1", 1200, 0, 900, 400));
    w.resizeTo(9000, 6000);

    c.props["Left"] = -0.25;  // rounds to 0, but it is below zero as read
    w.resizeTo(9000, 6000);
    EXPECT_EQ(c["Left"], -73800);
}

TEST_F(LayoutPass, GeometryChangedByOtherCodeReturnsAtNextResize) {
    FakeWindow w("frmM", 9000, 6000);
    auto& pane = w.add(FakeControl::box("RichTextBox2", 120, 480, 4500, 3000));
    w.resizeTo(9000, 6000);

    pane.props["Height"] = 0;  // a header click shrank the pane
    w.resizeTo(9000, 6000);
    expectBox(pane, 120, 480, 4500, 3000);
}

TEST_F(LayoutPass, MinimiseAndRestoreWithoutDrift) {
    FakeWindow w("frmM", 9000, 6000);
    auto& pane = w.add(FakeControl::box("RichTextBox1", 123, 457, 4501, 2999));
    auto& hidden = w.add(FakeControl::box("Command1", -3000, 77, 900, 400));
    w.resizeTo(9000, 6000);

    w.resizeTo(0, 0);
    expectBox(pane, 0, 0, 0, 0);
    expectBox(hidden, -75000, 0, 0, 0);

    // Widths stay below 105 %, beyond which the hidden control's scaled left turns positive.
    for (int round = 0; round < 20; ++round) {
        w.resizeTo(9000 - 150 * round + 37, 6000 + 100 * round);
        w.resizeTo(0, 0);
        w.resizeTo(9000, 6000);
    }
    expectBox(pane, 123, 457, 4501, 2999);
    expectBox(hidden, -3000, 77, 900, 400);
}

TEST_F(LayoutPass, WindowRegisteredWhileMinimisedCollapsesForever) {
    FakeWindow w("frmM", 0, 0);
    auto& c = w.add(FakeControl::box("Text1", 120, 480, 4500, 3000));
    auto& hidden = w.add(FakeControl::box("Command1", -3000, 60, 900, 400));
    w.resizeTo(0, 0);
    ASSERT_EQ(formCount, 1);

    for (double size : {9000.0, 12000.0}) {
        w.resizeTo(size, size);
        expectBox(c, 0, 0, 0, 0);
        expectBox(hidden, -75000, 0, 0, 0);
    }
}

TEST_F(LayoutPass, ZeroRecordedWidthLosesOnlyTheHorizontalPercentage) {
    FakeWindow w("frmM", 0, 6000);
    auto& c = w.add(FakeControl::box("Text1", 120, 480, 4500, 3000));
    w.resizeTo(0, 6000);

    w.resizeTo(9000, 3000);
    expectBox(c, 0, 240, 0, 1500);
}

TEST_F(LayoutPass, ControlAddedAfterRegistrationCollapsesToTheOrigin) {
    FakeWindow w("frmM", 9000, 6000);
    w.add(FakeControl::box("Text1", 120, 480, 4500, 3000));
    w.resizeTo(9000, 6000);
    auto& late = w.add(FakeControl::box("Text9", 500, 600, 700, 800));
    // Without a record even the hidden side's left cannot be worked out: it goes to 0 as well.
    auto& lateHidden = w.add(FakeControl::box("Text10", -500, 600, 700, 800));

    for (double width : {9000.0, 18000.0}) {
        w.resizeTo(width, 6000);
        EXPECT_EQ(lastPass(late), fullPass(0, 0, 0, 0));
        EXPECT_EQ(lastPass(lateHidden), fullPass(0, 0, 0, 0));
    }
    EXPECT_EQ(controlCount, 1);
}

TEST_F(LayoutPass, EmptyWindowIsNeverRegistered) {
    FakeWindow w("frmM", 9000, 6000);
    w.resizeTo(9000, 6000);
    w.resizeTo(4500, 3000);
    EXPECT_EQ(formCount, 0);

    // Its first pass with a member is its registration, at the size it has then.
    auto& c = w.add(FakeControl::box("Text1", 100, 100, 100, 100));
    w.resizeTo(4500, 3000);
    EXPECT_EQ(formCount, 1);
    EXPECT_EQ(formTable[0].scaleWidth, 4500);
    expectBox(c, 100, 100, 100, 100);
}

TEST_F(LayoutPass, SameNamedWindowKeepsTheFirstSnapshot) {
    FakeWindow first("frmM", 9000, 6000);
    first.add(FakeControl::box("Text1", 1000, 1000, 1000, 1000));
    first.resizeTo(9000, 6000);

    FakeWindow again("frmM", 4500, 3000);
    auto& c = again.add(FakeControl::box("Text1", 7, 7, 7, 7));
    again.resizeTo(4500, 3000);

    EXPECT_EQ(formCount, 1);
    EXPECT_EQ(controlCount, 1);
    expectBox(c, 500, 500, 500, 500);
}

TEST_F(LayoutPass, ControlArrayElementsFollowTheirOwnRecords) {
    FakeWindow w("frmM", 9000, 6000);
    auto& a = w.add(FakeControl::box("Label", 100, 0, 500, 200));
    a.props["Index"] = 0;
    auto& b = w.add(FakeControl::box("Label", 2000, 0, 800, 200));
    b.props["Index"] = 1;
    w.resizeTo(9000, 6000);

    w.resizeTo(18000, 6000);
    expectBox(a, 200, 0, 1000, 200);
    expectBox(b, 4000, 0, 1600, 200);
}

TEST_F(LayoutPass, NestedControlIsScaledLikeAnyOther) {
    FakeWindow w("frmM", 9000, 6000);
    auto& inner = w.add(FakeControl::box("Text2", 6000, 30, 1800, 270));  // in tbToolBar's coordinates
    w.resizeTo(9000, 6000);

    w.resizeTo(13500, 12000);
    expectBox(inner, 9000, 60, 2700, 540);
}

TEST_F(LayoutLine, EndPointsScaleWithTheirAxes) {
    FakeWindow w("frmM", 9000, 6000);
    auto& l = w.add(FakeControl::line("Line1", 100, 200, 3000, 400));
    w.resizeTo(9000, 6000);

    w.resizeTo(18000, 3000);

    EXPECT_EQ(l["X1"], 200);
    EXPECT_EQ(l["Y1"], 100);
    EXPECT_EQ(l["X2"], 6000);
    EXPECT_EQ(l["Y2"], 200);
    EXPECT_TRUE(l.moves.empty());
}

TEST_F(LayoutLine, EndLeftOfZeroKeepsItsOffset) {
    FakeWindow w("frmM", 9000, 6000);
    auto& l = w.add(FakeControl::line("Line1", -3000, 0, 500, 0));
    w.resizeTo(9000, 6000);
    EXPECT_EQ(l["X1"], -3000);

    w.resizeTo(4500, 6000);
    EXPECT_EQ(l["X1"], -39000);
    EXPECT_EQ(l["X2"], 250);

    l.props["X2"] = -1;  // moved off-window by other code
    w.resizeTo(9000, 6000);
    EXPECT_EQ(l["X2"], 500 - 75000);
}

TEST_F(LayoutLine, FailedEndPointStepLeavesThatPropertyAlone) {
    FakeWindow w("frmM", 9000, 6000);
    auto& l = w.add(FakeControl::line("Line1", 100, 200, 300, 400));
    w.resizeTo(9000, 6000);

    l.refused = {"set Y1"};
    w.resizeTo(18000, 12000);

    EXPECT_EQ(l["X1"], 200);
    EXPECT_EQ(l["Y1"], 200);
    EXPECT_EQ(l["X2"], 600);
    EXPECT_EQ(l["Y2"], 800);
}

TEST_F(LayoutLine, UnreadableEndCountsAsLeftOfZero) {
    FakeWindow w("frmM", 9000, 6000);
    auto& l = w.add(FakeControl::line("Line1", 100, 200, 300, 400));
    w.resizeTo(9000, 6000);

    l.refused = {"get X1"};
    w.resizeTo(9000, 6000);
    EXPECT_EQ(l["X1"], 100 - 75000);
    EXPECT_EQ(l["X2"], 300);
}

TEST_F(LayoutLine, OverflowingEndPointIsLeftUnchanged) {
    FakeWindow w("frmM", 9000, 6000);
    auto& l = w.add(FakeControl::line("Line1", 100, 200, 25000000, 400));
    w.resizeTo(9000, 6000);

    EXPECT_EQ(l["X1"], 100);
    EXPECT_EQ(l["X2"], 25000000);
    l.props["X2"] = 5;
    w.resizeTo(9000, 6000);
    EXPECT_EQ(l["X2"], 5);
}

TEST_F(LayoutLine, LineWithoutRecordIsLeftUnchanged) {
    FakeWindow w("frmM", 9000, 6000);
    w.add(FakeControl::box("Text1", 0, 0, 100, 100));
    w.resizeTo(9000, 6000);
    auto& l = w.add(FakeControl::line("Line9", -10, 20, 30, 40));

    w.resizeTo(18000, 12000);

    EXPECT_EQ(l["X1"], -10);
    EXPECT_EQ(l["Y1"], 20);
    EXPECT_EQ(l["X2"], 30);
    EXPECT_EQ(l["Y2"], 40);
}

TEST_F(LayoutFailures, OverflowingWidthIsMovedAsZero) {
    FakeWindow w("frmM", 9000, 6000);
    auto& c = w.add(FakeControl::box("Text1", 120, 480, 25000000, 3000));

    w.resizeTo(9000, 6000);

    EXPECT_EQ(c.moves, fullPass(120, 480, 0, 3000));
}

TEST_F(LayoutFailures, RefusedFullMoveStillGetsTheShorterOnes) {
    FakeWindow w("frmM", 9000, 6000);
    auto& threeArgs = w.add(FakeControl::box("Combo1", 100, 100, 1000, 300));
    auto& twoArgs = w.add(FakeControl::box("Image1", 100, 100, 1000, 300));
    w.resizeTo(9000, 6000);
    threeArgs.refused = {"move 4"};
    twoArgs.refused = {"move 4", "move 3"};

    w.resizeTo(18000, 12000);

    expectBox(threeArgs, 200, 200, 2000, 300);
    expectBox(twoArgs, 200, 200, 1000, 300);
    EXPECT_EQ(twoArgs.log.back(), "move 2");
}

TEST_F(LayoutFailures, MenuItemsAreRecordedAndSkipped) {
    FakeWindow w("frmM", 9000, 6000);
    auto& menu = w.add(FakeControl::menu("mnuFile"));
    auto& pane = w.add(FakeControl::box("RichTextBox1", 120, 480, 4500, 3000));

    w.resizeTo(9000, 6000);
    w.resizeTo(18000, 12000);

    ASSERT_EQ(controlCount, 2);
    EXPECT_EQ(controlTable[0].name, "mnuFile");
    EXPECT_EQ(std::vector<std::string>(menu.log.end() - 3, menu.log.end()),
              (std::vector<std::string>{"move 4", "move 3", "move 2"}));
    expectBox(pane, 240, 960, 9000, 6000);
}

TEST_F(LayoutFailures, UnreadableCurrentLeftCountsAsLeftOfZero) {
    FakeWindow w("frmM", 9000, 6000);
    auto& c = w.add(FakeControl::box("Text1", 1200, 10, 100, 100));
    w.resizeTo(9000, 6000);

    c.refused = {"get Left"};
    w.resizeTo(9000, 6000);
    EXPECT_EQ(lastPass(c), fullPass(-73800, 10, 100, 100));
}

TEST_F(LayoutFailures, FailedPercentageScalesToZero) {
    FakeWindow w("frmM", 9000, 6000);
    auto& c = w.add(FakeControl::box("Text1", 120, 480, 4500, 3000));
    w.resizeTo(9000, 6000);

    w.refused = {"scaleHeight"};
    w.resizeTo(18000, 6000);
    expectBox(c, 240, 0, 9000, 0);
}

TEST_F(LayoutFailures, PercentageOutOfRangeScalesToZero) {
    FakeWindow w("frmM", 1, 6000);
    auto& c = w.add(FakeControl::box("Text1", 120, 480, 4500, 3000));
    w.resizeTo(1, 6000);

    w.resizeTo(3e7, 6000);  // 3e9 percent does not fit 32 bits
    expectBox(c, 0, 480, 0, 3000);
}

TEST_F(LayoutFailures, UnreadableIndexFallsBackToTheFirstElementsRecord) {
    FakeWindow w("frmM", 9000, 6000);
    auto& a = w.add(FakeControl::box("Label", 100, 0, 500, 200));
    a.props["Index"] = 0;
    auto& b = w.add(FakeControl::box("Label", 2000, 0, 800, 200));
    b.props["Index"] = 1;
    w.resizeTo(9000, 6000);

    b.refused = {"get Index"};
    w.resizeTo(9000, 6000);
    expectBox(b, 100, 0, 500, 200);
}

TEST_F(LayoutFailures, UnreadableControlNameLosesTheRecord) {
    FakeWindow w("frmM", 9000, 6000);
    auto& c = w.add(FakeControl::box("Text1", 120, 480, 4500, 3000));
    w.resizeTo(9000, 6000);

    c.refused = {"name"};
    w.resizeTo(9000, 6000);
    expectBox(c, 0, 0, 0, 0);
}

TEST_F(LayoutFailures, EnumerationFailureEndsThePassQuietly) {
    FakeWindow w("frmM", 9000, 6000);
    auto& a = w.add(FakeControl::box("Text1", 100, 100, 100, 100));
    auto& b = w.add(FakeControl::box("Text2", 100, 100, 100, 100));
    auto& c = w.add(FakeControl::box("Text3", 100, 100, 100, 100));
    w.resizeTo(9000, 6000);

    w.refused = {"member 1"};
    EXPECT_NO_THROW(w.resizeTo(18000, 6000));
    expectBox(a, 200, 100, 200, 100);
    expectBox(b, 100, 100, 100, 100);
    expectBox(c, 100, 100, 100, 100);

    EXPECT_THROW(ResizeForm(w), LayoutAccessError);
}

TEST_F(LayoutFailures, EnumerationFailureDuringRegistrationLeavesLaterMembersUnrecorded) {
    FakeWindow w("frmM", 9000, 6000);
    auto& a = w.add(FakeControl::box("Text1", 100, 100, 100, 100));
    auto& b = w.add(FakeControl::box("Text2", 100, 100, 100, 100));
    w.refused = {"member 1"};
    ResizeFormAbsorbingFailures(w);
    w.refused.clear();

    EXPECT_EQ(formCount, 1);
    EXPECT_EQ(controlCount, 1);
    // Registration ran inside the height percentage, which therefore failed and scaled to 0; the
    // width percentage found the window already counted.
    EXPECT_EQ(a.moves, fullPass(100, 0, 100, 0));

    w.resizeTo(18000, 6000);
    expectBox(a, 200, 100, 200, 100);
    expectBox(b, 0, 0, 0, 0);
}
