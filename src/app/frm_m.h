#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "journal/journal_format.h"
#include "panes/file_io.h"
#include "platform/common_dialog.h"
#include "platform/controls.h"
#include "platform/rich_edit.h"
#include "platform/text_format.h"

namespace corvane {

class LayoutWindow;

// Window flags are 16-bit: True is -1, False is 0.
using Flag = std::int16_t;
inline constexpr Flag kTrue = -1;
inline constexpr Flag kFalse = 0;

// The platform objects the window's handlers work on.
struct FormControls {
    Form& form;
    RichEdit& RichTextBox1;
    RichEdit& RichTextBox2;
    RichEdit& RichTextBox3;
    Label& Label1;
    Label& Label4;
    Label& Label5;
    TextBox& Text2;
    Browser& WebBrowser1;
    CommonDialog& dlgCommonDialog;
    ToolBar& tbToolBar;
    MenuItem& mnuViewToolbar;
    MenuItem& mnuTxtL;
    MenuItem& mnuTxtC;
    MenuItem& mnuTxtR;
    Clipboard& clipboard;
    Prompt& prompt;
    Launcher& launcher;
    Clock& clock;
};

// The main window's state and every one of its event handlers. Handlers live in the source file
// of their subsystem: app/ (load, close, clock, change), panes/ (file commands, headers),
// preview/, commands/ (clipboard, formatting, toolbar, contact links).
class frmM {
public:
    explicit frmM(const FormControls& controls);

    // Window variables.
    std::string htm;
    std::string css;
    std::string js;
    Flag change = kFalse;
    Flag change1 = kFalse;
    Flag change2 = kFalse;
    Flag htmlDirty = kFalse;
    Flag cssDirty = kFalse;
    Flag jsDirty = kFalse;
    std::int16_t htmlSelected = 0;
    std::int16_t cssSelected = 0;
    std::int16_t jsSelected = 0;

    // How each pane's text is written: the encoding, byte-order mark and line ends of the file last
    // loaded into it; UTF-8 without a mark and with LF for new text.
    TextFormat htmlFormat;
    TextFormat cssFormat;
    TextFormat jsFormat;

    // What each file a pane read or wrote was at that moment, by path: a save asks first when
    // another program has changed the pane's file since.
    std::map<std::string, FileStamp> htmlKnown;
    std::map<std::string, FileStamp> cssKnown;
    std::map<std::string, FileStamp> jsKnown;

    void Form_Load();
    void Form_Resize(LayoutWindow& self);
    void Form_QueryUnload(std::int16_t& cancel, int unloadMode);
    void Timer1_Timer();

    void RichTextBox1_Change();
    void RichTextBox2_Change();
    void RichTextBox3_Change();

    void mnuFileNew_Click();
    void mnuFileOpen_Click();
    // What Open does once it has a name: the file shown in the HTML pane, its name in the title.
    // A file the program is started with (from the desktop's "Open with") goes the same way.
    void OpenFile(const std::string& fileName);
    void mnuFileSave_Click();
    void mnuFileSaveAs_Click();
    void mnuFilePrint_Click();
    void mnuFileExit_Click();
    void SaveCss();
    void SaveJs();
    void SaveCssAs();
    void SaveJsAs();

    void Label1_Click();
    void Label4_Click();
    void Label5_Click();
    void Label1_DblClick();
    void Label4_DblClick();
    void Label5_DblClick();

    void Command1_Click();
    // The preview pane's own commands (its context menu): the page in the desktop's browser, and
    // whether the CSS and JS panes without a file join the page.
    void OpenPreviewInBrowser();
    // What the run button shows now: the HTML pane's text at the page's address, with the CSS and
    // JS panes joined in or standing in for their files.
    PreviewPage previewPage() const;
    bool previewJoinsPanes = true;
    // The file last opened into the HTML pane: before the pane has a file of its own, its page is
    // shown in that file's folder, where its pictures and style sheets lie.
    std::string htmlOpened;

    void mnuEditCut_Click();
    void mnuEditCopy_Click();
    void mnuEditPaste_Click();

    void mnuTxtFont_Click();
    void mnuTxtColor_Click();
    void mnuTxtBold_Click();
    void mnuTxtItalic_Click();
    void mnuTxtUnderline_Click();
    void mnuTxtL_Click();
    void mnuTxtC_Click();
    void mnuTxtR_Click();

    void tbToolBar_ButtonClick(std::string_view key);
    void mnuViewToolbar_Click();

    void Label3_Click();
    void qzone_Click();

    // Whether any pane has edits that no write has stored.
    bool anyPaneUnsaved() const;

    // The panes with unsaved edits as the recovery journal keeps them, without their text, which
    // the journal takes from the panes itself; with their caret unless the journal finds it itself.
    std::vector<journal::PaneRecord> unsavedPanes(bool withCaret = true);
    // Brings a journal's panes back: their text, unsaved, with their files and formats, so that
    // a save writes each where it belongs.
    void restorePanes(const journal::Journal& journal);

private:
    struct Pane {
        RichEdit& edit;
        Label& header;
        std::string& path;
        Flag& hasFile;
        Flag& dirty;
        std::int16_t& selected;
        std::string_view savedCaption;
        std::string_view unsavedCaption;
        std::string_view filter;
        TextFormat& format;
        std::map<std::string, FileStamp>& known;
    };
    Pane pane(PaneId id);

    void paneChanged(PaneId id);
    bool saveAsStep(PaneId id);
    bool writePane(PaneId id, const std::string& path);
    void writeStep(PaneId id);
    void saveStep(PaneId id);
    void headerClick(PaneId id);
    void alignment(bool left, bool centre, bool right, std::int16_t code);

    FormControls c_;
};

}  // namespace corvane
