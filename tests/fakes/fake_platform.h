#pragma once

#include <algorithm>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/frm_m.h"
#include "platform/common_dialog.h"
#include "platform/controls.h"
#include "platform/platform_error.h"
#include "platform/rich_edit.h"

namespace corvane::fakes {

// A pane over a plain string with one selection. Formatting is recorded per call so tests can see
// what the commands wrote; content changes raise the change event like the real pane.
class FakeRichEdit : public RichEdit {
public:
    std::string text;
    std::size_t selStart = 0;
    std::size_t selLen = 0;
    int height = 9375;
    bool wordWrapOff = false;
    std::vector<std::string> printed;      // what each print produced
    std::optional<RichDocument> lastRich;  // the last rich document loaded
    std::vector<std::string> formatLog;    // "bold=1", "align=2", …
    Tristate bold = Tristate::False, italic = Tristate::False, underline = Tristate::False,
             strike = Tristate::False;
    std::string fontName = "Sans";
    float fontSize = 12;
    std::int32_t color = 0;
    std::int16_t align = 0;
    bool failNextWrite = false;  // the next setSelText or formatting call throws, as a rejecting pane does
    int formatCallsBeforeFailure = -1;  // when it reaches 0, that formatting call throws

    void select(std::size_t start, std::size_t length) {
        selStart = start;
        selLen = length;
    }

    void setText(const std::string& t) override;
    void loadPlainText(const std::string& t) override;
    void loadRichText(const RichDocument& document) override;
    std::string plainText() const override { return text; }
    long caretPosition() const override { return static_cast<long>(selStart + selLen); }
    void setCaretPosition(long position) override {
        select(std::min(static_cast<std::size_t>(position), text.size()), 0);
    }
    std::string selText() const override { return text.substr(selStart, selLen); }
    void setSelText(const std::string& t) override;
    long selLength() const override { return static_cast<long>(selLen); }
    std::string selFontName() const override { return fontName; }
    void setSelFontName(const std::string& name) override;
    float selFontSize() const override { return fontSize; }
    void setSelFontSize(float points) override;
    Tristate selBold() const override { return bold; }
    void setSelBold(Tristate v) override;
    Tristate selItalic() const override { return italic; }
    void setSelItalic(Tristate v) override;
    Tristate selUnderline() const override { return underline; }
    void setSelUnderline(Tristate v) override;
    Tristate selStrikeThru() const override { return strike; }
    void setSelStrikeThru(Tristate v) override;
    std::int32_t selColor() const override { return color; }
    void setSelColor(std::int32_t c) override;
    std::int16_t selAlignment() const override { return align; }
    void setSelAlignment(std::int16_t code) override;
    void selPrint(Printer& printer) override;
    int heightTwips() const override { return height; }
    void setHeightTwips(int twips) override { height = twips; }
    void setWordWrapOff() override { wordWrapOff = true; }

    void type(const std::string& t) { setSelText(t); }

private:
    void formatted(const std::string& entry);
};

class FakeForm : public Form {
public:
    std::string title = "Corvane 2.5";
    int closeRequests = 0;
    std::string caption() const override { return title; }
    void setCaption(const std::string& c) override { title = c; }
    void close() override { ++closeRequests; }
};

class FakeLabel : public Label {
public:
    std::string text;
    std::uint32_t color = kButtonFaceColor;
    std::string caption() const override { return text; }
    void setCaption(const std::string& c) override { text = c; }
    std::uint32_t backColor() const override { return color; }
    void setBackColor(std::uint32_t c) override { color = c; }
};

class FakeTextBox : public TextBox {
public:
    std::string value = "Text2";
    std::string text() const override { return value; }
    void setText(const std::string& t) override { value = t; }
};

class FakeMenuItem : public MenuItem {
public:
    bool mark = false;
    std::vector<std::string>* log = nullptr;  // shared order log
    std::string name;
    bool checked() const override { return mark; }
    void setChecked(bool c) override;
};

class FakeToolBar : public ToolBar {
public:
    bool shown = true;
    bool visible() const override { return shown; }
    void setVisible(bool v) override { shown = v; }
};

class FakeBrowser : public Browser {
public:
    std::vector<std::string> navigations;
    std::vector<PreviewPage> pages;
    void navigate(const std::string& address) override { navigations.push_back(address); }
    void showPage(const PreviewPage& page) override {
        navigations.push_back(page.address);
        pages.push_back(page);
    }
};

class FakeClipboard : public Clipboard {
public:
    std::string content;
    bool failSet = false;
    bool failGet = false;
    std::string getText() override;
    void setText(const std::string& t) override;
};

class FakePrompt : public Prompt {
public:
    std::deque<Answer> answers;
    std::vector<std::pair<std::string, std::string>> asked;
    bool fail = false;  // the box cannot be shown
    Answer askYesNo(const std::string& prompt, const std::string& title) override;
    std::vector<std::pair<std::string, std::string>> told;
    void tell(const std::string& message, const std::string& title) override {
        told.emplace_back(message, title);
    }
};

class FakeLauncher : public Launcher {
public:
    std::vector<std::string> opened;
    bool fail = false;
    void openUrl(const std::string& url) override;
};

class FakeClock : public Clock {
public:
    LocalTime time{"2026/12/7", "13:05:09", 13, 5, 9};
    LocalTime now() override { return time; }
};

// One scripted reply to the next dialog shown.
struct DialogReply {
    bool accept = true;
    std::string fileName;                          // for file dialogs
    std::optional<CommonDialogProperties> values;  // font or colour values the dialog ends with
};

class FakeCommonDialog : public CommonDialog {
public:
    std::deque<DialogReply> replies;
    // Each dialog shown: its kind and the properties it was shown with.
    std::vector<std::pair<std::string, CommonDialogProperties>> shown;
    Printer printer;  // no device: the fake pane records what it would print

    bool ShowOpen() override { return fileDialog("open"); }
    bool ShowSave() override { return fileDialog("save"); }
    bool ShowPrinter() override;
    bool ShowFont() override { return valueDialog("font"); }
    bool ShowColor() override { return valueDialog("color"); }
    Printer& hDC() override { return printer; }

private:
    DialogReply next(const std::string& kind);
    bool fileDialog(const std::string& kind);
    bool valueDialog(const std::string& kind);
};

// The whole window wired to fakes, loaded as at start-up.
struct FakeWindow {
    FakeForm form;
    FakeRichEdit html, cssPane, jsPane;
    FakeLabel label1, label4, label5;
    FakeTextBox text2;
    FakeBrowser browser;
    FakeCommonDialog dialog;
    FakeToolBar toolbar;
    FakeMenuItem viewToolbar, txtL, txtC, txtR;
    FakeClipboard clipboard;
    FakePrompt prompt;
    FakeLauncher launcher;
    FakeClock clock;
    std::vector<std::string> markLog;
    frmM frm;

    FakeWindow();
};

}  // namespace corvane::fakes
