#include <gtest/gtest.h>

#include "fake_layout.h"
#include "layout/proportional_layout.h"

using namespace corvane;
using corvane::testing::FakeControl;
using corvane::testing::FakeWindow;
using LayoutPass = corvane::testing::LayoutTest;
using Geometry = std::vector<double>;

TEST_F(LayoutPass, FirstPassRecordsEverythingThenMovesWithFourThreeAndTwoArguments) {
    FakeWindow w;
    auto& pane = w.box("RichTextBox1", 120, 480.5, 4500.4, 3000);
    auto& hidden = w.box("Command1", -3000, 60, 900, 400);
    std::int32_t recordedAtFirstMove = -1;
    pane.onMove = [&] { recordedAtFirstMove = recordedAtFirstMove < 0 ? controlCount : recordedAtFirstMove; };

    w.resizeTo(9000, 6000);
    w.resizeTo(4500, 12000);

    EXPECT_EQ(recordedAtFirstMove, 2);
    auto expected = FakeControl::pass(120, 480, 4500, 3000);
    for (const auto& m : FakeControl::pass(60, 960, 2250, 6000)) expected.push_back(m);
    EXPECT_EQ(pane.moves, expected);
    EXPECT_EQ(hidden.lastPass(), FakeControl::pass(-39000, 120, 450, 800));
}

TEST_F(LayoutPass, ScalesFromTheSnapshotByWholePercentages) {
    FakeWindow w;
    auto& c = w.box("Text1", 333, 480, 1000, 3000);
    w.resizeTo(9000, 6000);

    w.resizeTo(18000, 6000);
    EXPECT_EQ(c.geometry(), (Geometry{666, 480, 2000, 3000}));
    w.resizeTo(9990, 6000);
    EXPECT_EQ(c.geometry(), (Geometry{369, 480, 1110, 3000}));
    w.resizeTo(9089, 6059);  // under one percent of growth
    EXPECT_EQ(c.geometry(), (Geometry{333, 480, 1000, 3000}));
    w.resizeTo(8999, 5999);
    EXPECT_EQ(c.geometry(), (Geometry{329, 475, 990, 2970}));
    c.props["Height"] = 0;  // a pane header shrank it
    w.resizeTo(9000, 6000);
    EXPECT_EQ(c.geometry(), (Geometry{333, 480, 1000, 3000}));
}

TEST_F(LayoutPass, ControlsLeftOfZeroStayHiddenAtEverySize) {
    FakeWindow w;
    auto& a = w.box("Command1", -3000, 0, 900, 400);
    auto& far = w.box("Text2", -80000, 0, 900, 400);
    auto& moved = w.box("Text1", 1200, 0, 900, 400);
    w.resizeTo(9000, 6000);
    EXPECT_EQ(a.props["Left"], -3000);
    EXPECT_EQ(far.props["Left"], -80000);

    w.resizeTo(4500, 6000);
    EXPECT_EQ(a.props["Left"], -39000);
    EXPECT_EQ(far.props["Left"], -77500);
    w.resizeTo(10800, 6000);
    EXPECT_EQ(a.props["Left"], 11400);
    w.resizeTo(9000, 6000);
    EXPECT_EQ(a.props["Left"], 72000);  // 11400 is no longer left of zero: the current left decides

    for (auto current : {-1.0, -0.25}) {  // compared as read, before rounding
        moved.props["Left"] = current;
        w.resizeTo(9000, 6000);
        EXPECT_EQ(moved.props["Left"], -73800);
    }
    moved.props["Left"] = 5;
    moved.refused = {"get Left"};  // unreadable counts as left of zero
    w.resizeTo(9000, 6000);
    EXPECT_EQ(moved.props["Left"], -73800);
}

TEST_F(LayoutPass, MinimiseAndRestoreWithoutDrift) {
    FakeWindow w;
    auto& pane = w.box("RichTextBox1", 123, 457, 4501, 2999);
    auto& hidden = w.box("Command1", -3000, 77, 900, 400);
    w.resizeTo(9000, 6000);
    for (int round = 0; round < 20; ++round) {
        w.resizeTo(0, 0);
        EXPECT_EQ(pane.geometry(), (Geometry{0, 0, 0, 0}));
        EXPECT_EQ(hidden.geometry(), (Geometry{-75000, 0, 0, 0}));
        w.resizeTo(9037 - 150 * round, 6000 + 100 * round);  // below 105 %, so the hidden one stays hidden
        w.resizeTo(9000, 6000);
    }
    EXPECT_EQ(pane.geometry(), (Geometry{123, 457, 4501, 2999}));
    EXPECT_EQ(hidden.geometry(), (Geometry{-3000, 77, 900, 400}));
}

TEST_F(LayoutPass, WindowRegisteredWhileMinimisedCollapsesOnEveryPass) {
    FakeWindow w;
    auto& c = w.box("Text1", 120, 480, 4500, 3000);
    auto& hidden = w.box("Command1", -3000, 60, 900, 400);
    w.resizeTo(0, 0);
    for (double size : {9000.0, 12000.0}) {
        w.resizeTo(size, size);
        EXPECT_EQ(c.geometry(), (Geometry{0, 0, 0, 0}));
        EXPECT_EQ(hidden.geometry(), (Geometry{-75000, 0, 0, 0}));
    }
    EXPECT_EQ(formCount, 1);
}

TEST_F(LayoutPass, MembersWithoutRecordsCollapseToTheOriginAndLinesStay) {
    FakeWindow w;
    w.box("Text1", 120, 480, 4500, 3000);
    w.resizeTo(9000, 6000);
    auto& late = w.box("Text9", 500, 600, 700, 800);
    auto& lateHidden = w.box("Text10", -500, 600, 700, 800);
    auto& lateLine = w.line("Line9", -10, 20, 30, 40);
    for (double width : {9000.0, 18000.0}) {
        w.resizeTo(width, 6000);
        EXPECT_EQ(late.lastPass(), FakeControl::pass(0, 0, 0, 0));
        EXPECT_EQ(lateHidden.lastPass(), FakeControl::pass(0, 0, 0, 0));
        EXPECT_EQ(lateLine.geometry(), (Geometry{-10, 20, 30, 40}));
    }
    EXPECT_EQ(controlCount, 1);
}

TEST_F(LayoutPass, LinesMoveTheirEndPointsOneByOne) {
    FakeWindow w;
    auto& l = w.line("Line1", -3000, 200, 25000000, 400);
    auto& m = w.line("Line2", 100, 200, 300, 400);
    w.resizeTo(9000, 6000);
    EXPECT_EQ(l.geometry(), (Geometry{-3000, 200, 25000000, 400}));  // X2 overflows: left as it was

    m.refused = {"set Y1", "get X2"};
    w.resizeTo(4500, 12000);
    EXPECT_EQ(l.geometry(), (Geometry{-39000, 400, 12500000, 800}));
    EXPECT_EQ(m.geometry(), (Geometry{50, 200, 150 - 75000, 800}));
    EXPECT_TRUE(m.moves.empty());
}

TEST_F(LayoutPass, FailedValuesAndRefusedMovesAreSkipped) {
    FakeWindow w;
    auto& menu = w.add("mnuFile", {});
    auto& wide = w.box("Text1", 120, 480, 25000000, 3000);
    auto& threeArgs = w.box("Combo1", 100, 100, 1000, 300);
    auto& twoArgs = w.box("Image1", 100, 100, 1000, 300);
    w.resizeTo(9000, 6000);
    EXPECT_EQ(wide.moves, FakeControl::pass(120, 480, 0, 3000));

    threeArgs.refused = {"move 4"};
    twoArgs.refused = {"move 4", "move 3"};
    w.resizeTo(18000, 12000);
    EXPECT_EQ(threeArgs.geometry(), (Geometry{200, 200, 2000, 300}));
    EXPECT_EQ(twoArgs.geometry(), (Geometry{200, 200, 1000, 300}));
    EXPECT_EQ(std::vector<std::string>(menu.log.end() - 3, menu.log.end()),
              (std::vector<std::string>{"move 4", "move 3", "move 2"}));
}

TEST_F(LayoutPass, FailedLookupsAndPercentagesCountAsNoRecordAndZero) {
    FakeWindow w;
    auto& a = w.box("Label", 100, 10, 500, 200);
    a.props["Index"] = 0;
    auto& b = w.box("Label", 2000, 20, 800, 200);
    b.props["Index"] = 1;
    w.resizeTo(9000, 6000);

    b.refused = {"get Index"};  // matches the first element's record
    w.refused = {"scaleHeight"};
    w.resizeTo(18000, 6000);
    EXPECT_EQ(a.geometry(), (Geometry{200, 0, 1000, 0}));
    EXPECT_EQ(b.geometry(), (Geometry{200, 0, 1000, 0}));

    w.refused.clear();
    b.refused = {"name"};
    w.resizeTo(2e11, 6000);  // over 2^31 percent
    EXPECT_EQ(a.geometry(), (Geometry{0, 10, 0, 200}));
    EXPECT_EQ(b.geometry(), (Geometry{0, 0, 0, 0}));
}

TEST_F(LayoutPass, FailingEnumerationEndsThePassQuietly) {
    FakeWindow w;
    auto& a = w.box("Text1", 100, 100, 100, 100);
    auto& b = w.box("Text2", 100, 100, 100, 100);
    auto& c = w.box("Text3", 100, 100, 100, 100);
    w.refused = {"member 1"};
    w.resizeTo(9000, 6000);  // registration walks the members again, inside the height percentage
    EXPECT_EQ(a.moves, FakeControl::pass(100, 0, 100, 0));
    EXPECT_TRUE(c.moves.empty());
    EXPECT_EQ(controlCount, 1);
    EXPECT_THROW(ResizeForm(w), LayoutAccessError);

    w.refused.clear();
    w.resizeTo(18000, 6000);
    EXPECT_EQ(a.geometry(), (Geometry{200, 100, 200, 100}));
    EXPECT_EQ(b.geometry(), (Geometry{0, 0, 0, 0}));
    EXPECT_EQ(c.geometry(), (Geometry{0, 0, 0, 0}));
}

TEST_F(LayoutPass, OnlyTheFirstWindowWithMembersUnderANameIsRecorded) {
    FakeWindow empty;
    empty.resizeTo(4500, 3000);
    EXPECT_EQ(formCount, 0);

    FakeWindow first;
    first.box("Text1", 1000, 1000, 1000, 1000);
    first.resizeTo(9000, 6000);
    FakeWindow again;
    auto& c = again.box("Text1", 7, 7, 7, 7);
    again.resizeTo(4500, 3000);
    EXPECT_EQ(c.geometry(), (Geometry{500, 500, 500, 500}));
    EXPECT_EQ(formCount, 1);
    EXPECT_EQ(controlCount, 1);
}
