#include <gtest/gtest.h>

#include "fake_layout.h"
#include "layout/proportional_layout.h"

using namespace corvane;
using corvane::testing::FakeWindow;
using LayoutRegistration = corvane::testing::LayoutTest;

TEST_F(LayoutRegistration, RecordsTheWindowAndEveryMemberOnce) {
    FakeWindow w;
    w.clientWidth = 9000.5;
    w.outerLeft = -3000;
    w.box("Label4", 1200.4, -500, 2000, 300.5);
    w.box("Command1", -3000, 10, 900, 400).props["Index"] = 2;
    w.box("Text2", -80000, 20, 1000, 300);
    w.line("Line1", -3000, -200, -80000, 450);
    w.add("mnuFile", {});
    w.box("Label4", 0, 0, 0, 0);  // same name, no index: already recorded

    EXPECT_EQ(RegisterForm(w), 0);

    EXPECT_EQ(formTable, (std::vector<LayoutRecord>{{"frmM", 0, "", 120, -3000, 7000, 10000, 6000, 9000}}));
    EXPECT_EQ(controlTable, (std::vector<LayoutRecord>{{"Label4", 0, "frmM", -500, 1200, 300, 2000, 0, 0},
                                                       {"Command1", 2, "frmM", 10, 72000, 400, 900, 0, 0},
                                                       {"Text2", 0, "frmM", 20, -5000, 300, 1000, 0, 0},
                                                       {"Line1", 0, "frmM", -200, 72000, 450, -5000, 0, 0},
                                                       {"mnuFile", 0, "frmM", 0, 0, 0, 0, 0, 0}}));
    EXPECT_EQ(formCount, 1);
    EXPECT_EQ(controlCount, 5);
}

TEST_F(LayoutRegistration, UnreadableFieldsStayZeroAndIntegralHeightGoesOffAfterTheSnapshot) {
    FakeWindow w;
    auto& list = w.box("List1", 300, 200, 3e10, 915);  // a width too large to store
    list.props["Index"] = 3;
    list.refused = {"name", "get Top"};
    list.integralHeight = true;
    list.onIntegralHeight = [&] { list.props["Height"] = 900; };  // the list box drops its row snap

    EXPECT_EQ(RegisterControl(list, "frmM"), 0);

    EXPECT_EQ(controlTable.at(0), (LayoutRecord{"", 3, "frmM", 0, 300, 915, 0, 0, 0}));
    EXPECT_EQ(list.integralHeight, false);
    EXPECT_EQ(list.log.back(), "set IntegralHeight");
}

TEST_F(LayoutRegistration, FailureBeforeCountingLeavesTheWindowUnregistered) {
    FakeWindow w;
    w.box("Text1", 0, 0, 100, 100);
    w.refused = {"scaleWidth"};
    EXPECT_THROW(RegisterForm(w), LayoutAccessError);
    EXPECT_EQ(formCount, 0);
    EXPECT_EQ(controlCount, 0);

    w.refused.clear();
    w.clientWidth = 4500;
    EXPECT_EQ(WidthPercent(w), 100);  // registers it now, at the same position
    EXPECT_EQ(formTable.size(), 1U);
    EXPECT_EQ(formTable[0].scaleWidth, 4500);
}

TEST_F(LayoutRegistration, EnumerationFailureAfterCountingKeepsTheWindow) {
    FakeWindow w;
    w.box("Text1", 0, 0, 100, 100);
    w.box("Text2", 0, 0, 100, 100);
    w.refused = {"member 1"};
    EXPECT_THROW(RegisterForm(w), LayoutAccessError);
    EXPECT_EQ(formCount, 1);
    EXPECT_EQ(controlCount, 1);
}

TEST_F(LayoutRegistration, FormsMatchByExactName) {
    FakeWindow w;
    w.refused = {"name"};
    EXPECT_EQ(FindFormRecord(w), kNoRecord);  // empty table: the name is not even read
    w.refused.clear();
    w.box("Text1", 0, 0, 100, 100);
    RegisterForm(w);
    EXPECT_EQ(FindFormRecord(w), 0);
    w.windowName = "FRMM";
    EXPECT_EQ(FindFormRecord(w), kNoRecord);
    w.refused = {"name"};
    EXPECT_THROW(FindFormRecord(w), LayoutAccessError);
}

TEST_F(LayoutRegistration, ControlsMatchByWindowNameControlNameAndIndex) {
    FakeWindow w;
    auto& c = w.box("Label", 0, 0, 1, 1);
    RegisterControl(c, "frmOther");
    for (double index : {4, 5}) {
        c.props["Index"] = index;
        RegisterControl(c, "frmM");
    }
    EXPECT_EQ(FindControlRecord(c, "frmM"), 2);
    EXPECT_EQ(FindControlRecord(c, "frmm"), kNoRecord);
    c.props["Index"] = 6;
    EXPECT_EQ(FindControlRecord(c, "frmM"), kNoRecord);
    c.refused = {"get Index"};  // not an array element after all: names alone decide
    EXPECT_EQ(FindControlRecord(c, "frmM"), 1);
    c.controlName = "label";
    EXPECT_EQ(FindControlRecord(c, "frmM"), kNoRecord);
    c.refused = {"name"};
    EXPECT_THROW(FindControlRecord(c, "frmM"), LayoutAccessError);
}
