#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "app/frm_m.h"

namespace corvane::def {

// The main window as designed: every control, menu item and toolbar button, with geometry in
// twips. The Qt window builds itself from this and the tests check the built window against it.

inline constexpr std::string_view kFormName = "frmM";
inline constexpr std::string_view kCaption = "Corvane 2.5";
inline constexpr std::string_view kCaptionAfterNew = "Corvane";
inline constexpr int kClientWidth = 15375;
inline constexpr int kClientHeight = 10095;
inline constexpr int kTwipsPerInch = 1440;

// The developer's pages, in one place: the home page is also in the HTML pane's sample text.
inline constexpr std::string_view kHomePageAddress = "https://www.example.com/corvane/";
inline constexpr std::string_view kContactChatAddress =
    "https://chat.example.org/open?account=corvane-dev&site=corvane&menu=no&lang=zh-CN";

enum class Kind { PushButton, WebBrowser, Timer, CommonDialog, ImageList, ToolBar, TextBox, RichEdit, Label };

inline constexpr int kNoTabIndex = -1;

struct Control {
    std::string_view name;
    Kind kind;
    bool visual;  // has a place on the screen
    int left, top, width, height;
    int tabIndex;
    std::string_view text;     // caption or initial text
    std::string_view toolTip;  // empty: none
};

// In stacking order, topmost first.
inline constexpr std::array<Control, 16> kControls{{
    {"Command1", Kind::PushButton, true, 9240, 240, 1455, 375, 6, "运行结果", ""},
    {"WebBrowser1", Kind::WebBrowser, true, 7200, 720, 8175, 9375, 2, "", ""},
    {"Timer1", Kind::Timer, false, 0, 0, 0, 0, kNoTabIndex, "", ""},
    {"CommonDialog1", Kind::CommonDialog, false, 0, 0, 0, 0, kNoTabIndex, "", ""},
    {"imlToolbarIcons", Kind::ImageList, false, 0, 0, 0, 0, kNoTabIndex, "", ""},
    {"dlgCommonDialog", Kind::CommonDialog, false, 0, 0, 0, 0, kNoTabIndex, "", ""},
    {"tbToolBar", Kind::ToolBar, true, 0, 0, 15375, 405, 0, "", ""},
    {"Text2", Kind::TextBox, true, 12120, 120, 2535, 270, 3, "Text2", ""},
    {"RichTextBox1", Kind::RichEdit, true, 0, 720, 7215, 9375, 1, "", ""},
    {"RichTextBox2", Kind::RichEdit, true, 0, 720, 7215, 9375, 10, "", ""},
    {"RichTextBox3", Kind::RichEdit, true, 0, 720, 7215, 9375, 11, "", ""},
    {"Label5", Kind::Label, true, 4920, 480, 2175, 255, 9, "JS代码编辑区", "双击此处保存"},
    {"Label4", Kind::Label, true, 2520, 480, 2295, 255, 8, "CSS代码编辑区", "双击此处保存"},
    {"Label3", Kind::Label, true, 12840, 480, 2175, 255, 7, "向开发者提交建议以及错误", ""},
    {"Label2", Kind::Label, true, 7440, 480, 1575, 255, 5, "结果显示区：", ""},
    {"Label1", Kind::Label, true, 0, 480, 2415, 255, 4, "HTML代码编辑区", "双击此处保存"},
}};

const Control& control(std::string_view name);

enum class MenuLevel { Bar, Item, Separator };

// The handler a menu entry runs when it is clicked.
using MenuHandler = void (frmM::*)();

struct Menu {
    MenuLevel level;
    std::string_view name;
    std::string_view caption;
    std::string_view shortcut;  // empty: none
    bool checkable;
    bool checked;
    MenuHandler handler;  // none for a separator and for a bar entry that opens its menu
};

inline constexpr std::array<Menu, 25> kMenus{{
    {MenuLevel::Bar, "mnuFile", "文件(&F)", "", false, false, nullptr},
    {MenuLevel::Item, "mnuFileNew", "新建(&N)", "Ctrl+N", false, false, &frmM::mnuFileNew_Click},
    {MenuLevel::Item, "mnuFileOpen", "打开(&O)...", "F1", false, false, &frmM::mnuFileOpen_Click},
    {MenuLevel::Item, "mnuFileSave", "保存(&S)", "F2", false, false, &frmM::mnuFileSave_Click},
    {MenuLevel::Item, "mnuFileSaveAs", "另存为(&A)...", "F3", false, false, &frmM::mnuFileSaveAs_Click},
    {MenuLevel::Item, "mnuFilePrint", "打印(&P)...", "", false, false, &frmM::mnuFilePrint_Click},
    {MenuLevel::Item, "mnuFileExit", "退出(&X)", "", false, false, &frmM::mnuFileExit_Click},
    {MenuLevel::Bar, "mnuEdit", "编辑(&E)", "", false, false, nullptr},
    {MenuLevel::Item, "mnuEditCut", "剪贴(&T)", "", false, false, &frmM::mnuEditCut_Click},
    {MenuLevel::Item, "mnuEditCopy", "复制(&C)", "", false, false, &frmM::mnuEditCopy_Click},
    {MenuLevel::Item, "mnuEditPaste", "粘贴(&P)", "", false, false, &frmM::mnuEditPaste_Click},
    {MenuLevel::Bar, "mnuView", "视图(&V)", "", false, false, nullptr},
    {MenuLevel::Item, "mnuViewToolbar", "工具栏(&T)", "", true, true, &frmM::mnuViewToolbar_Click},
    {MenuLevel::Bar, "mnuTxt", "文字(&T)", "", false, false, nullptr},
    {MenuLevel::Item, "mnuTxtFont", "字体(&F)", "", false, false, &frmM::mnuTxtFont_Click},
    {MenuLevel::Item, "mnuTxtColor", "颜色(&A)", "", false, false, &frmM::mnuTxtColor_Click},
    {MenuLevel::Separator, "mnuTxtBar0", "-", "", false, false, nullptr},
    {MenuLevel::Item, "mnuTxtBold", "粗体(&B)", "", false, false, &frmM::mnuTxtBold_Click},
    {MenuLevel::Item, "mnuTxtItalic", "斜体(&I)", "", false, false, &frmM::mnuTxtItalic_Click},
    {MenuLevel::Item, "mnuTxtUnderline", "下划线(&U)", "", false, false, &frmM::mnuTxtUnderline_Click},
    {MenuLevel::Separator, "mnuTxtBar1", "-", "", false, false, nullptr},
    {MenuLevel::Item, "mnuTxtL", "左对齐(&L)", "", true, false, &frmM::mnuTxtL_Click},
    {MenuLevel::Item, "mnuTxtC", "置中(&C)", "", true, false, &frmM::mnuTxtC_Click},
    {MenuLevel::Item, "mnuTxtR", "右对齐(&R)", "", true, false, &frmM::mnuTxtR_Click},
    // A command on the menu bar itself, with no menu under it.
    {MenuLevel::Bar, "qzone", "Qzone", "", false, false, &frmM::qzone_Click},
}};

enum class ButtonKind { Push, Group, Separator };

struct ToolButton {
    std::string_view key;  // also the tooltip; empty for the separator
    int image;             // 1-based index into the image list; 0: none
    ButtonKind kind;
};

inline constexpr std::array<ToolButton, 16> kToolButtons{{
    {"新建", 1, ButtonKind::Push},
    {"打开", 2, ButtonKind::Push},
    {"保存", 3, ButtonKind::Push},
    {"打印", 4, ButtonKind::Push},
    {"剪切", 5, ButtonKind::Push},
    {"复制", 6, ButtonKind::Push},
    {"粘贴", 7, ButtonKind::Push},
    {"字体", 14, ButtonKind::Push},
    {"字体颜色", 15, ButtonKind::Push},
    {"粗体", 8, ButtonKind::Push},
    {"斜体", 9, ButtonKind::Push},
    {"下划线", 10, ButtonKind::Push},
    {"", 0, ButtonKind::Separator},
    {"左对齐", 11, ButtonKind::Group},
    {"置中", 12, ButtonKind::Group},
    {"右对齐", 13, ButtonKind::Group},
}};

inline constexpr int kToolButtonWidthPx = 23;
inline constexpr int kToolButtonHeightPx = 21;
inline constexpr int kToolImageWidthPx = 16;
inline constexpr int kToolImageHeightPx = 15;
inline constexpr int kImageCount = 15;

// The HTML pane's initial text: seven lines, each ended by a paragraph break.
std::string_view sampleText();

inline constexpr std::string_view kPaneFontName = "微软雅黑";
inline constexpr int kPaneFontPoints = 12;

inline constexpr int kTimerIntervalMs = 100;

}  // namespace corvane::def
