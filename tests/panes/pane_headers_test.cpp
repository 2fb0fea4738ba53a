#include <gtest/gtest.h>

#include "app/captions.h"
#include "app/window_definition.h"
#include "fakes/fake_platform.h"
#include "fakes/temp_dir.h"

namespace corvane {
namespace {

using fakes::DialogReply;
using fakes::FakeWindow;
using fakes::readFile;
using fakes::TempDir;

TEST(HeaderClick, SelectsItsPaneAndShowsItAloneWithoutTouchingContent) {
    FakeWindow w;
    w.cssPane.setText("body{}");
    w.cssPane.select(2, 1);
    w.frm.Label4_Click();
    EXPECT_EQ(w.frm.cssSelected, 1);
    EXPECT_EQ(w.frm.htmlSelected, 0);
    EXPECT_EQ(w.frm.jsSelected, 0);
    EXPECT_EQ(w.label4.color, kInactiveTitleBarColor);
    EXPECT_EQ(w.label1.color, kButtonFaceColor);
    EXPECT_EQ(w.label5.color, kButtonFaceColor);
    EXPECT_EQ(w.html.height, 0);
    EXPECT_EQ(w.jsPane.height, 0);
    EXPECT_EQ(w.cssPane.height, 9375);
    EXPECT_EQ(w.cssPane.text, "body{}");
    EXPECT_EQ(w.cssPane.selStart, 2u);
    EXPECT_EQ(w.label4.text, text::kCssUnsaved);
    EXPECT_EQ(w.frm.cssDirty, kTrue);
}

TEST(HeaderClick, TheFixedHeightHoldsWhateverThePanesHeightWas) {
    FakeWindow w;
    w.jsPane.height = 20000;  // as after the window was enlarged
    w.frm.Label5_Click();
    EXPECT_EQ(w.jsPane.height, 9375);
    w.frm.Label5_Click();
    EXPECT_EQ(w.jsPane.height, 9375);
    EXPECT_EQ(w.frm.jsSelected, 1);
}

TEST(HeaderDoubleClick, UnsavedPaneWithoutFileAsksForANameWithItsFilter) {
    FakeWindow w;
    TempDir dir;
    w.frm.Label5_Click();
    w.jsPane.type("let a;");
    w.dialog.replies.push_back(DialogReply{true, dir.file("app.js"), std::nullopt});
    w.frm.Label5_DblClick();
    EXPECT_EQ(w.dialog.shown.back().second.Filter, "js文件(*.js)|*.js");
    EXPECT_EQ(readFile(dir.file("app.js")), "let a;");
    EXPECT_EQ(w.frm.js, dir.file("app.js"));
    EXPECT_EQ(w.frm.jsDirty, kFalse);
    EXPECT_EQ(w.label5.text, text::kJsCaption);
}

TEST(HeaderDoubleClick, CancelKeepsTheEditsMarkedAndAsksAgainNextTime) {
    FakeWindow w;
    w.cssPane.type("p{}");
    w.dialog.replies.push_back(DialogReply{false, "", std::nullopt});
    w.frm.Label4_DblClick();
    EXPECT_EQ(w.frm.cssDirty, kTrue);
    EXPECT_EQ(w.label4.text, text::kCssUnsaved);
    w.dialog.replies.push_back(DialogReply{false, "", std::nullopt});
    w.frm.Label4_DblClick();
    EXPECT_EQ(w.dialog.shown.size(), 2u);
}

TEST(HeaderDoubleClick, PaneWithAFileIsWrittenEvenWhenClean) {
    FakeWindow w;
    TempDir dir;
    w.dialog.replies.push_back(DialogReply{true, dir.file("a.html"), std::nullopt});
    w.frm.mnuFileSaveAs_Click();
    fakes::writeFile(dir.file("a.html"), "changed on disk");
    w.frm.Label1_DblClick();
    EXPECT_EQ(readFile(dir.file("a.html")), def::sampleText());
    EXPECT_EQ(w.label1.text, text::kHtmlCaption);
    EXPECT_EQ(w.dialog.shown.size(), 1u);
}

TEST(HeaderDoubleClick, CleanPaneWithoutFileAsksForANameInsteadOfWritingNowhere) {
    FakeWindow w;
    w.dialog.replies.push_back(DialogReply{false, "", std::nullopt});
    w.frm.Label1_DblClick();
    ASSERT_EQ(w.dialog.shown.size(), 1u);
    EXPECT_EQ(w.dialog.shown[0].second.Filter, text::kHtmlFilter);
    EXPECT_EQ(w.frm.htmlDirty, kFalse);
    EXPECT_EQ(w.label1.text, text::kHtmlCaption);
}

}  // namespace
}  // namespace corvane
