#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "fake_layout.h"
#include "layout/proportional_layout.h"

using namespace corvane;
using corvane::testing::FakeControl;
using corvane::testing::FakeWindow;
using LayoutRegistration = corvane::testing::LayoutTest;
using LayoutLookup = corvane::testing::LayoutTest;

namespace {

bool logged(const std::vector<std::string>& log, const std::string& key) {
    return std::find(log.begin(), log.end(), key) != log.end();
}

std::ptrdiff_t positionIn(const std::vector<std::string>& log, const std::string& key) {
    return std::find(log.begin(), log.end(), key) - log.begin();
}

}  // namespace

TEST_F(LayoutRegistration, WindowRecordHoldsRoundedGeometryWithoutOffset) {
    FakeWindow w("frmM", 9000.5, 6001.5);
    w.outerLeft = -3000;
    w.outerTop = 400.4;
    w.add(FakeControl::box("Text1", 0, 0, 100, 100));

    EXPECT_EQ(RegisterForm(w), 0);

    ASSERT_EQ(formCount, 1);
    LayoutRecord expected;
    expected.name = "frmM";
    expected.top = 400;
    expected.left = -3000;
    expected.height = 7000;
    expected.width = 10000;
    expected.scaleHeight = 6002;
    expected.scaleWidth = 9000;
    EXPECT_EQ(formTable[0], expected);
}

TEST_F(LayoutRegistration, RegistersEveryMemberInCollectionOrder) {
    FakeWindow w("frmM", 9000, 6000);
    w.add(FakeControl::box("Label4", 1200.4, -500, 2000, 300.5));
    w.add(FakeControl::box("Command1", -3000, 10, 900, 400));
    w.add(FakeControl::box("Text2", -80000, 20, 1000, 300));

    ASSERT_EQ(RegisterForm(w), 0);

    ASSERT_EQ(controlCount, 3);
    EXPECT_EQ(controlTable[0], (LayoutRecord{"Label4", 0, "frmM", -500, 1200, 300, 2000, 0, 0}));
    EXPECT_EQ(controlTable[1], (LayoutRecord{"Command1", 0, "frmM", 10, 72000, 400, 900, 0, 0}));
    EXPECT_EQ(controlTable[2], (LayoutRecord{"Text2", 0, "frmM", 20, -5000, 300, 1000, 0, 0}));
}

TEST_F(LayoutRegistration, LineRecordsEndPointsWithOnlyXOffset) {
    FakeWindow w("frmM", 9000, 6000);
    w.add(FakeControl::line("Line1", -3000, -200, -80000, 450));

    RegisterForm(w);

    EXPECT_EQ(controlTable[0], (LayoutRecord{"Line1", 0, "frmM", -200, 72000, 450, -5000, 0, 0}));
}

TEST_F(LayoutRegistration, ControlArrayElementsGetSeparateRecords) {
    FakeWindow w("frmM", 9000, 6000);
    auto& first = w.add(FakeControl::box("Label", 0, 0, 100, 100));
    first.props["Index"] = 0;
    auto& second = w.add(FakeControl::box("Label", 500, 0, 100, 100));
    second.props["Index"] = 1;

    RegisterForm(w);

    ASSERT_EQ(controlCount, 2);
    EXPECT_EQ(controlTable[0].index, 0);
    EXPECT_EQ(controlTable[1].index, 1);
    EXPECT_EQ(controlTable[1].left, 500);
}

TEST_F(LayoutRegistration, MemberListedTwiceIsRegisteredOnce) {
    FakeWindow w("frmM", 9000, 6000);
    w.add(FakeControl::box("Text1", 0, 0, 100, 100));
    w.add(FakeControl::box("Text1", 700, 0, 100, 100));

    RegisterForm(w);

    ASSERT_EQ(controlCount, 1);
    EXPECT_EQ(controlTable[0].left, 0);
}

TEST_F(LayoutRegistration, MenuItemGetsNameAndZeros) {
    FakeWindow w("frmM", 9000, 6000);
    w.add(FakeControl::menu("mnuFileOpen"));

    RegisterForm(w);

    ASSERT_EQ(controlCount, 1);
    EXPECT_EQ(controlTable[0], (LayoutRecord{"mnuFileOpen", 0, "frmM", 0, 0, 0, 0, 0, 0}));
}

TEST_F(LayoutRegistration, EachUnreadableFieldIsSkippedAlone) {
    auto control = FakeControl::box("List1", 300, 200, 1500, 900);
    control->props["Index"] = 3;
    control->refused = {"name", "get Top", "get Width"};

    EXPECT_EQ(RegisterControl(*control, "frmM"), 0);

    EXPECT_EQ(controlTable[0], (LayoutRecord{"", 3, "frmM", 0, 300, 900, 0, 0, 0}));
    EXPECT_EQ(controlCount, 1);
}

TEST_F(LayoutRegistration, UnstorableValueLeavesItsFieldZero) {
    auto control = FakeControl::box("Text1", 3e10, 200, 1500, 900);

    RegisterControl(*control, "frmM");

    EXPECT_EQ(controlTable[0].left, 0);
    EXPECT_EQ(controlTable[0].top, 200);
}

TEST_F(LayoutRegistration, IntegralHeightSwitchedOffAfterGeometryIsRead) {
    auto list = FakeControl::box("List1", 300, 200, 1500, 915);
    list->integralHeight = true;
    // Releasing the row snap lets the list box show a different height.
    FakeControl* raw = list.get();
    list->onIntegralHeightChanged = [raw] { raw->props["Height"] = 900; };

    RegisterControl(*list, "frmM");

    EXPECT_EQ(list->integralHeight, false);
    EXPECT_EQ(controlTable[0].height, 915);
    const auto set = positionIn(list->log, "set IntegralHeight");
    for (const char* read : {"get Top", "get Left", "get Height", "get Width"}) {
        EXPECT_LT(positionIn(list->log, read), set) << read;
    }
}

TEST_F(LayoutRegistration, ControlWithoutIntegralHeightIsStillRegistered) {
    auto box = FakeControl::box("Text1", 1, 2, 3, 4);

    EXPECT_EQ(RegisterControl(*box, "frmM"), 0);
    EXPECT_TRUE(logged(box->log, "set IntegralHeight"));
    EXPECT_EQ(controlCount, 1);
}

TEST_F(LayoutRegistration, FailureBeforeCountingLeavesWindowUnregistered) {
    FakeWindow w("frmM", 9000, 6000);
    w.add(FakeControl::box("Text1", 0, 0, 100, 100));
    w.refused = {"scaleWidth"};

    EXPECT_THROW(RegisterForm(w), LayoutAccessError);
    EXPECT_EQ(formCount, 0);
    EXPECT_EQ(controlCount, 0);
    EXPECT_EQ(FindFormRecord(w), kNoRecord);

    // The next request registers it again, at the same position.
    w.refused.clear();
    w.clientWidth = 4500;
    EXPECT_EQ(WidthPercent(w), 100);
    EXPECT_EQ(formCount, 1);
    EXPECT_EQ(formTable[0].scaleWidth, 4500);
    EXPECT_EQ(controlCount, 1);
}

TEST_F(LayoutRegistration, EnumerationFailureAfterCountingKeepsTheWindow) {
    FakeWindow w("frmM", 9000, 6000);
    w.add(FakeControl::box("Text1", 0, 0, 100, 100));
    w.add(FakeControl::box("Text2", 0, 0, 100, 100));
    w.add(FakeControl::box("Text3", 0, 0, 100, 100));
    w.refused = {"member 1"};

    EXPECT_THROW(RegisterForm(w), LayoutAccessError);

    EXPECT_EQ(formCount, 1);
    ASSERT_EQ(controlCount, 1);
    EXPECT_EQ(controlTable[0].name, "Text1");
    w.refused.clear();
    EXPECT_EQ(FindFormRecord(w), 0);
}

TEST_F(LayoutLookup, EmptyFormTableAnswersWithoutReadingTheName) {
    FakeWindow w("frmM", 9000, 6000);
    w.refused = {"name"};

    EXPECT_EQ(FindFormRecord(w), kNoRecord);
    EXPECT_FALSE(logged(w.log, "name"));
}

TEST_F(LayoutLookup, FormNamesCompareCaseSensitively) {
    FakeWindow w("frmM", 9000, 6000);
    w.add(FakeControl::box("Text1", 0, 0, 100, 100));
    RegisterForm(w);
    FakeWindow other("FRMM", 9000, 6000);

    EXPECT_EQ(FindFormRecord(w), 0);
    EXPECT_EQ(FindFormRecord(other), kNoRecord);
}

TEST_F(LayoutLookup, FormNameReadFailurePassesToTheCaller) {
    FakeWindow w("frmM", 9000, 6000);
    w.add(FakeControl::box("Text1", 0, 0, 100, 100));
    RegisterForm(w);
    w.refused = {"name"};

    EXPECT_THROW(FindFormRecord(w), LayoutAccessError);
    EXPECT_THROW(WidthPercent(w), LayoutAccessError);
    EXPECT_EQ(formCount, 1);
}

TEST_F(LayoutLookup, ControlMatchesOnWindowAndControlNameExactly) {
    auto text = FakeControl::box("Text1", 0, 0, 1, 1);
    RegisterControl(*text, "frmOther");
    RegisterControl(*text, "frmM");

    EXPECT_EQ(FindControlRecord(*text, "frmM"), 1);
    EXPECT_EQ(FindControlRecord(*text, "frmOther"), 0);
    EXPECT_EQ(FindControlRecord(*text, "frmm"), kNoRecord);
    text->controlName = "text1";
    EXPECT_EQ(FindControlRecord(*text, "frmM"), kNoRecord);
}

TEST_F(LayoutLookup, ControlArrayElementsAreToldApartByIndex) {
    auto element = FakeControl::box("Label", 0, 0, 1, 1);
    for (double index : {0.0, 1.0, 2.0}) {
        element->props["Index"] = index;
        RegisterControl(*element, "frmM");
    }

    element->props["Index"] = 2;
    EXPECT_EQ(FindControlRecord(*element, "frmM"), 2);
    element->props["Index"] = 1;
    EXPECT_EQ(FindControlRecord(*element, "frmM"), 1);
    element->props["Index"] = 7;
    EXPECT_EQ(FindControlRecord(*element, "frmM"), kNoRecord);
}

TEST_F(LayoutLookup, UnreadableIndexMatchesTheFirstRecordWithBothNames) {
    auto element = FakeControl::box("Label", 0, 0, 1, 1);
    RegisterControl(*element, "frmOther");
    element->props["Index"] = 4;
    RegisterControl(*element, "frmM");
    element->props["Index"] = 5;
    RegisterControl(*element, "frmM");

    element->refused = {"get Index"};
    EXPECT_EQ(FindControlRecord(*element, "frmM"), 1);
}

TEST_F(LayoutLookup, ControlNameReadFailurePassesToTheCaller) {
    auto text = FakeControl::box("Text1", 0, 0, 1, 1);
    RegisterControl(*text, "frmM");
    text->refused = {"name"};

    EXPECT_THROW(FindControlRecord(*text, "frmM"), LayoutAccessError);
}

TEST_F(LayoutLookup, EmptyControlTableFindsNothing) {
    auto text = FakeControl::box("Text1", 0, 0, 1, 1);
    text->refused = {"name", "get Index"};

    EXPECT_EQ(FindControlRecord(*text, "frmM"), kNoRecord);
}
