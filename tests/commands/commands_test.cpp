#include <gtest/gtest.h>

#include "app/window_definition.h"
#include "fakes/fake_platform.h"

namespace corvane {
namespace {

using fakes::DialogReply;
using fakes::FakeWindow;

TEST(Clipboard, CutMovesTheHtmlSelectionAndPasteBringsItBack) {
    FakeWindow w;
    w.html.setText("one two three");
    w.html.select(4, 4);
    w.frm.Label4_Click();  // the selected pane plays no part
    w.frm.mnuEditCut_Click();
    EXPECT_EQ(w.clipboard.content, "two ");
    EXPECT_EQ(w.html.text, "one three");
    EXPECT_EQ(w.frm.htmlDirty, kTrue);
    w.frm.mnuEditPaste_Click();
    EXPECT_EQ(w.html.text, "one two three");
}

TEST(Clipboard, CopyWithNothingSelectedEmptiesTheClipboardText) {
    FakeWindow w;
    w.clipboard.content = "old";
    w.frm.mnuEditCopy_Click();
    EXPECT_EQ(w.clipboard.content, "");
    EXPECT_EQ(w.frm.htmlDirty, kFalse);
}

TEST(Clipboard, PasteReplacesTheSelectionAndAnEmptyClipboardDeletesIt) {
    FakeWindow w;
    w.html.setText("abcdef");
    w.html.select(1, 2);
    w.clipboard.content = "XYZ";
    w.frm.mnuEditPaste_Click();
    EXPECT_EQ(w.html.text, "aXYZdef");
    w.html.select(0, 1);
    w.clipboard.content = "";
    w.frm.mnuEditPaste_Click();
    EXPECT_EQ(w.html.text, "XYZdef");
}

TEST(Clipboard, CutKeepsTheSelectionWhenTheClipboardRefusesTheText) {
    FakeWindow w;
    w.html.setText("keep me");
    w.html.select(0, 4);
    w.clipboard.failSet = true;
    EXPECT_THROW(w.frm.mnuEditCut_Click(), PlatformError);
    EXPECT_EQ(w.html.text, "keep me");
}

TEST(Clipboard, CommandsActOnTheHtmlPaneOnly) {
    FakeWindow w;
    w.cssPane.setText("css text");
    w.cssPane.select(0, 3);
    w.html.setText("html");
    w.html.select(0, 4);
    w.frm.mnuEditCopy_Click();
    EXPECT_EQ(w.clipboard.content, "html");
}

TEST(Formatting, FontSetsFlagsThreeAndAppliesTheDialogsValuesInOrder) {
    FakeWindow w;
    CommonDialogProperties chosen;
    chosen.FontName = "Noto Serif";
    chosen.FontSize = 20;
    chosen.FontBold = true;
    chosen.FontUnderline = true;
    w.dialog.replies.push_back(DialogReply{true, "", chosen});
    w.frm.mnuTxtFont_Click();
    EXPECT_EQ(w.dialog.shown.back().second.Flags, 3);
    EXPECT_EQ(w.html.formatLog, (std::vector<std::string>{"font=Noto Serif", "size=20", "bold=1", "italic=0",
                                                          "underline=1", "strike=0"}));
}

TEST(Formatting, CancelledFontOrColourDialogChangesNothing) {
    FakeWindow w;
    w.dialog.replies.push_back(DialogReply{false, "", std::nullopt});
    w.frm.mnuTxtFont_Click();
    w.dialog.replies.push_back(DialogReply{false, "", std::nullopt});
    w.frm.mnuTxtColor_Click();
    EXPECT_TRUE(w.html.formatLog.empty());
}

TEST(Formatting, AFailingStepEndsTheFontCommandAfterWhatItDid) {
    FakeWindow w;
    CommonDialogProperties chosen;
    chosen.FontName = "A";
    chosen.FontSize = 9;
    w.dialog.replies.push_back(DialogReply{true, "", chosen});
    w.html.formatCallsBeforeFailure = 1;  // takes the name, refuses the size
    EXPECT_THROW(w.frm.mnuTxtFont_Click(), PlatformError);
    EXPECT_EQ(w.html.formatLog, std::vector<std::string>{"font=A"});
    EXPECT_EQ(w.html.fontName, "A");
}

TEST(Formatting, ColourUsesTheOptionsTheLastCommandLeft) {
    FakeWindow w;
    CommonDialogProperties red;
    red.Color = 0x0000ff;
    w.html.select(0, 3);
    w.dialog.replies.push_back({});  // printer
    w.frm.mnuFilePrint_Click();
    w.dialog.replies.push_back(DialogReply{true, "", red});
    w.frm.mnuTxtColor_Click();
    EXPECT_EQ(w.dialog.shown.back().first, "color");
    EXPECT_EQ(w.dialog.shown.back().second.Flags, 265);
    EXPECT_EQ(w.html.color, 0x0000ff);
    w.dialog.replies.push_back(DialogReply{false, "", std::nullopt});
    w.frm.mnuTxtFont_Click();
    w.dialog.replies.push_back(DialogReply{true, "", red});
    w.frm.mnuTxtColor_Click();
    EXPECT_EQ(w.dialog.shown.back().second.Flags, 3);
}

TEST(Formatting, TogglesNegateAndMakeAMixedSelectionUniformlyOn) {
    FakeWindow w;
    w.frm.mnuTxtBold_Click();
    EXPECT_EQ(w.html.bold, Tristate::True);
    w.frm.mnuTxtBold_Click();
    EXPECT_EQ(w.html.bold, Tristate::False);
    w.html.italic = Tristate::Mixed;
    w.frm.mnuTxtItalic_Click();
    EXPECT_EQ(w.html.italic, Tristate::True);
    w.html.underline = Tristate::True;
    w.frm.mnuTxtUnderline_Click();
    EXPECT_EQ(w.html.underline, Tristate::False);
    EXPECT_EQ(w.cssPane.formatLog.size(), 0u);
}

TEST(Formatting, AlignmentMarksInOrderRightLeftCentreThenTheCode) {
    FakeWindow w;
    w.frm.mnuTxtR_Click();
    w.frm.mnuTxtC_Click();
    EXPECT_EQ(w.markLog, (std::vector<std::string>{"R+", "L-", "C-", "R-", "L-", "C+"}));
    EXPECT_EQ(w.html.formatLog, (std::vector<std::string>{"align=1", "align=2"}));
    EXPECT_TRUE(w.txtC.mark);
    EXPECT_FALSE(w.txtR.mark);
    w.frm.mnuTxtL_Click();
    EXPECT_EQ(w.html.align, 0);
    EXPECT_TRUE(w.txtL.mark);
    EXPECT_FALSE(w.txtC.mark);
}

TEST(Toolbar, EachKeyRunsItsMenuCommand) {
    struct Case {
        const char* key;
        std::function<bool(FakeWindow&)> ran;
    };
    const std::vector<Case> cases = {
        {"新建", [](FakeWindow& w) { return w.form.title == "Corvane"; }},
        {"打开", [](FakeWindow& w) { return !w.dialog.shown.empty() && w.dialog.shown[0].first == "open"; }},
        {"保存", [](FakeWindow& w) { return !w.dialog.shown.empty() && w.dialog.shown[0].first == "save"; }},
        {"打印",
         [](FakeWindow& w) { return !w.dialog.shown.empty() && w.dialog.shown[0].first == "printer"; }},
        {"剪切",
         [](FakeWindow& w) {
             return w.clipboard.content == "<script" && w.html.text.rfind(" type", 0) == 0;
         }},
        {"复制", [](FakeWindow& w) { return w.clipboard.content == "<script" && w.frm.htmlDirty == kFalse; }},
        {"粘贴", [](FakeWindow& w) { return w.html.text.rfind("pasted type", 0) == 0; }},
        {"字体", [](FakeWindow& w) { return !w.dialog.shown.empty() && w.dialog.shown[0].first == "font"; }},
        {"字体颜色",
         [](FakeWindow& w) { return !w.dialog.shown.empty() && w.dialog.shown[0].first == "color"; }},
        {"粗体", [](FakeWindow& w) { return w.html.bold == Tristate::True; }},
        {"斜体", [](FakeWindow& w) { return w.html.italic == Tristate::True; }},
        {"下划线", [](FakeWindow& w) { return w.html.underline == Tristate::True; }},
        {"左对齐",
         [](FakeWindow& w) {
             return w.txtL.mark && w.html.formatLog == std::vector<std::string>{"align=0"};
         }},
        {"置中", [](FakeWindow& w) { return w.txtC.mark && w.html.align == 2; }},
        {"右对齐", [](FakeWindow& w) { return w.txtR.mark && w.html.align == 1; }},
    };
    for (const Case& c : cases) {
        FakeWindow w;
        w.html.select(0, 7);
        w.clipboard.content = "pasted";
        w.frm.tbToolBar_ButtonClick(c.key);
        EXPECT_TRUE(c.ran(w)) << c.key;
    }
}

TEST(Toolbar, UnknownKeysAndTheSeparatorDoNothing) {
    for (const char* key : {"", "Bold", "粗体 ", "另存为", "工具栏"}) {
        FakeWindow w;
        w.html.select(0, 3);
        w.frm.tbToolBar_ButtonClick(key);
        EXPECT_TRUE(w.dialog.shown.empty()) << key;
        EXPECT_TRUE(w.html.formatLog.empty()) << key;
        EXPECT_EQ(w.form.title, "Corvane 2.5") << key;
        EXPECT_EQ(w.clipboard.content, "") << key;
    }
}

// A failure inside a toolbar command ends it and reaches the user, as from the menu.
TEST(Toolbar, AFailingSaveIsNotSwallowed) {
    FakeWindow w;
    w.dialog.replies.push_back(DialogReply{true, "/nonexistent-folder/x.html", std::nullopt});
    EXPECT_THROW(w.frm.tbToolBar_ButtonClick("保存"), PlatformError);
    EXPECT_EQ(w.frm.htm, "");
}

TEST(ViewToolbar, FlipsTheMarkAndTheToolbarTogether) {
    FakeWindow w;
    w.frm.mnuViewToolbar_Click();
    EXPECT_FALSE(w.viewToolbar.mark);
    EXPECT_FALSE(w.toolbar.shown);
    w.frm.mnuViewToolbar_Click();
    EXPECT_TRUE(w.viewToolbar.mark);
    EXPECT_TRUE(w.toolbar.shown);
}

TEST(ContactLinks, LabelShowsTheChatPageAndQzoneLaunchesOncePerClick) {
    FakeWindow w;
    w.frm.Label3_Click();
    ASSERT_EQ(w.browser.navigations.size(), 1u);
    EXPECT_EQ(w.browser.navigations[0], def::kContactChatAddress);
    w.frm.qzone_Click();
    w.frm.qzone_Click();
    EXPECT_EQ(w.launcher.opened, (std::vector<std::string>(2, std::string(def::kHomePageAddress))));
    EXPECT_EQ(w.frm.htmlDirty, kFalse);
    EXPECT_EQ(w.form.title, "Corvane 2.5");
}

TEST(ContactLinks, ALauncherThatCannotStartIsReported) {
    FakeWindow w;
    w.launcher.fail = true;
    EXPECT_THROW(w.frm.qzone_Click(), PlatformError);
}

}  // namespace
}  // namespace corvane
