#include <gtest/gtest.h>

#include "app/captions.h"
#include "app/window_definition.h"
#include "fakes/fake_platform.h"

namespace corvane {
namespace {

using fakes::FakeWindow;

TEST(StartUp, LoadLeavesEveryPaneCleanUnselectedAndUnwrapped) {
    FakeWindow w;
    EXPECT_EQ(w.frm.htm, "");
    EXPECT_EQ(w.frm.css, "");
    EXPECT_EQ(w.frm.js, "");
    for (Flag f :
         {w.frm.change, w.frm.change1, w.frm.change2, w.frm.htmlDirty, w.frm.cssDirty, w.frm.jsDirty}) {
        EXPECT_EQ(f, kFalse);
    }
    EXPECT_EQ(w.frm.htmlSelected, 0);
    EXPECT_EQ(w.frm.cssSelected, 0);
    EXPECT_EQ(w.frm.jsSelected, 0);
    EXPECT_TRUE(w.html.wordWrapOff);
    EXPECT_TRUE(w.cssPane.wordWrapOff);
    EXPECT_TRUE(w.jsPane.wordWrapOff);
    EXPECT_EQ(w.html.text, def::sampleText());
}

TEST(StartUp, LoadClearsAChangeRaisedWhileTheSampleWasFilledIn) {
    FakeWindow w;
    w.html.setText("filled in late");
    ASSERT_EQ(w.frm.htmlDirty, kTrue);
    w.frm.Form_Load();
    EXPECT_EQ(w.frm.htmlDirty, kFalse);
}

TEST(SampleText, IsSevenScriptLinesEndingInABreakWithTheHomePage) {
    const std::string_view text = def::sampleText();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 7);
    EXPECT_EQ(text.back(), '\n');
    EXPECT_EQ(text.substr(0, 32), "<script type=\"text/javascript\">\n");
    EXPECT_NE(text.find("\n   window.location.replace(\"" + std::string(def::kHomePageAddress) + "\");\n"),
              std::string_view::npos);
    EXPECT_NE(text.find("\n },500);\n}\n</script>\n"), std::string_view::npos);
}

struct PaneCase {
    const char* name;
    fakes::FakeRichEdit FakeWindow::*pane;
    fakes::FakeLabel FakeWindow::*header;
    Flag frmM::*dirty;
    std::string_view unsaved;
};

class ChangeHandler : public testing::TestWithParam<PaneCase> {};

TEST_P(ChangeHandler, MarksThePaneAndItsHeaderOnceHoweverManyEdits) {
    FakeWindow w;
    const PaneCase& c = GetParam();
    (w.*c.pane).type("a");
    (w.*c.pane).type("b");
    (w.*c.pane).type("c");
    EXPECT_EQ(w.frm.*c.dirty, kTrue);
    EXPECT_EQ((w.*c.header).text, c.unsaved);
}

INSTANTIATE_TEST_SUITE_P(EachPane, ChangeHandler,
                         testing::Values(PaneCase{"Html", &FakeWindow::html, &FakeWindow::label1,
                                                  &frmM::htmlDirty, text::kHtmlUnsaved},
                                         PaneCase{"Css", &FakeWindow::cssPane, &FakeWindow::label4,
                                                  &frmM::cssDirty, text::kCssUnsaved},
                                         PaneCase{"Js", &FakeWindow::jsPane, &FakeWindow::label5,
                                                  &frmM::jsDirty, text::kJsUnsaved}),
                         [](const testing::TestParamInfo<PaneCase>& info) { return info.param.name; });

TEST(ChangeHandler, TouchesOnlyItsOwnPane) {
    FakeWindow w;
    w.cssPane.type("body{}");
    EXPECT_EQ(w.frm.htmlDirty, kFalse);
    EXPECT_EQ(w.frm.jsDirty, kFalse);
    EXPECT_EQ(w.label1.text, text::kHtmlCaption);
    EXPECT_EQ(w.label5.text, text::kJsCaption);
}

TEST(QuitQuestion, NothingUnsavedClosesWithoutAsking) {
    FakeWindow w;
    std::int16_t cancel = kFalse;
    w.frm.Form_QueryUnload(cancel, 0);
    EXPECT_EQ(cancel, kFalse);
    EXPECT_TRUE(w.prompt.asked.empty());
}

TEST(QuitQuestion, NoKeepsTheWindowAndEverythingInIt) {
    FakeWindow w;
    w.html.type("<p>");
    w.prompt.answers = {Answer::No};
    std::int16_t cancel = kFalse;
    w.frm.Form_QueryUnload(cancel, 0);
    EXPECT_EQ(cancel, kTrue);
    ASSERT_EQ(w.prompt.asked.size(), 1u);
    EXPECT_EQ(w.prompt.asked[0].first, "当前记录尚未保存，确认要退出?");
    EXPECT_EQ(w.prompt.asked[0].second, "提示");
    EXPECT_EQ(w.frm.htmlDirty, kTrue);
    EXPECT_EQ(w.label1.text, text::kHtmlUnsaved);
}

TEST(QuitQuestion, YesCloses) {
    FakeWindow w;
    w.html.type("<p>");
    w.prompt.answers = {Answer::Yes};
    std::int16_t cancel = kFalse;
    w.frm.Form_QueryUnload(cancel, 0);
    EXPECT_EQ(cancel, kFalse);
    EXPECT_EQ(w.prompt.asked.size(), 1u);
}

TEST(QuitQuestion, AQuestionThatCannotBeAskedKeepsTheWindow) {
    FakeWindow w;
    w.html.type("<p>");
    w.prompt.fail = true;
    std::int16_t cancel = kFalse;
    EXPECT_THROW(w.frm.Form_QueryUnload(cancel, 0), PlatformError);
    EXPECT_EQ(cancel, kTrue);
    EXPECT_EQ(w.frm.htmlDirty, kTrue);
}

// Unsaved CSS or JS is work too: closing asks about it as well.
TEST(QuitQuestion, IsAskedForUnsavedCssAndJs) {
    for (auto pane : {&FakeWindow::cssPane, &FakeWindow::jsPane}) {
        FakeWindow w;
        (w.*pane).type("x");
        w.prompt.answers = {Answer::No};
        std::int16_t cancel = kFalse;
        w.frm.Form_QueryUnload(cancel, 0);
        EXPECT_EQ(cancel, kTrue);
        EXPECT_EQ(w.prompt.asked.size(), 1u);
    }
}

TEST(Clock, ShowsPrefixDateSpaceAndLongTime) {
    FakeWindow w;
    EXPECT_EQ(w.text2.value, "Text2");
    w.clock.time = {"2026/12/7", "13:05:09", 13, 5, 9};
    w.frm.Timer1_Timer();
    EXPECT_EQ(w.text2.value, "现在是:2026/12/7 13:05:09");
}

TEST(Clock, ShowsTheDateAloneAtExactlyMidnight) {
    FakeWindow w;
    w.clock.time = {"2026/12/8", "0:00:00", 0, 0, 0};
    w.frm.Timer1_Timer();
    EXPECT_EQ(w.text2.value, "现在是:2026/12/8");
    w.clock.time = {"2026/12/8", "0:00:01", 0, 0, 1};
    w.frm.Timer1_Timer();
    EXPECT_EQ(w.text2.value, "现在是:2026/12/8 0:00:01");
}

TEST(Clock, OverwritesWhateverWasTypedIntoTheBox) {
    FakeWindow w;
    w.text2.value = "typed";
    w.frm.Timer1_Timer();
    EXPECT_EQ(w.text2.value.rfind("现在是:", 0), 0u);
}

}  // namespace
}  // namespace corvane
