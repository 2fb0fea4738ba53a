#include "fakes/fake_platform.h"

#include "app/captions.h"
#include "app/window_definition.h"

namespace corvane::fakes {

void FakeRichEdit::setText(const std::string& t) {
    text = t;
    selStart = selLen = 0;
    raiseChange();
}

void FakeRichEdit::loadPlainText(const std::string& t) {
    lastRich.reset();
    setText(t);
}

void FakeRichEdit::loadRichText(const RichDocument& document) {
    std::string plain;
    for (const Paragraph& paragraph : document.paragraphs) plain += paragraph.text + '\n';
    setText(plain);
    lastRich = document;
}

void FakeRichEdit::setSelText(const std::string& t) {
    if (failNextWrite) {
        failNextWrite = false;
        throw PlatformError("编辑", "pane refused");
    }
    text.replace(selStart, selLen, t);
    selStart += t.size();
    selLen = 0;
    raiseChange();
}

void FakeRichEdit::formatted(const std::string& entry) {
    if (formatCallsBeforeFailure >= 0 && formatCallsBeforeFailure-- == 0) failNextWrite = true;
    if (failNextWrite) {
        failNextWrite = false;
        throw PlatformError("设置格式", "pane refused " + entry);
    }
    formatLog.push_back(entry);
}

void FakeRichEdit::setSelFontName(const std::string& name) {
    formatted("font=" + name);
    fontName = name;
}
void FakeRichEdit::setSelFontSize(float points) {
    formatted("size=" + std::to_string(static_cast<int>(points)));
    fontSize = points;
}
static std::string tri(Tristate v) {
    return v == Tristate::True ? "1" : v == Tristate::False ? "0" : "mixed";
}
void FakeRichEdit::setSelBold(Tristate v) {
    formatted("bold=" + tri(v));
    bold = v;
}
void FakeRichEdit::setSelItalic(Tristate v) {
    formatted("italic=" + tri(v));
    italic = v;
}
void FakeRichEdit::setSelUnderline(Tristate v) {
    formatted("underline=" + tri(v));
    underline = v;
}
void FakeRichEdit::setSelStrikeThru(Tristate v) {
    formatted("strike=" + tri(v));
    strike = v;
}
void FakeRichEdit::setSelColor(std::int32_t c) {
    formatted("color=" + std::to_string(c));
    color = c;
}
void FakeRichEdit::setSelAlignment(std::int16_t code) {
    formatted("align=" + std::to_string(code));
    align = code;
}
void FakeRichEdit::selPrint(Printer&) { printed.push_back(selLen != 0 ? selText() : text); }

void FakeMenuItem::setChecked(bool c) {
    mark = c;
    if (log != nullptr) log->push_back(name + (c ? "+" : "-"));
}

std::string FakeClipboard::getText() {
    if (failGet) throw PlatformError("读取剪贴板", "busy");
    return content;
}

void FakeClipboard::setText(const std::string& t) {
    if (failSet) throw PlatformError("写入剪贴板", "busy");
    content = t;
}

Answer FakePrompt::askYesNo(const std::string& prompt, const std::string& title) {
    asked.emplace_back(prompt, title);
    if (fail) throw PlatformError("显示提示框", "no display");
    if (answers.empty()) return Answer::Yes;
    const Answer answer = answers.front();
    answers.pop_front();
    return answer;
}

void FakeLauncher::openUrl(const std::string& url) {
    if (fail) throw PlatformError("打开主页", "no browser");
    opened.push_back(url);
}

DialogReply FakeCommonDialog::next(const std::string& kind) {
    shown.emplace_back(kind, props_);
    if (replies.empty()) return DialogReply{false, "", std::nullopt};
    DialogReply reply = replies.front();
    replies.pop_front();
    return reply;
}

bool FakeCommonDialog::fileDialog(const std::string& kind) {
    const DialogReply reply = next(kind);
    props_.FileName = reply.accept ? reply.fileName : "";
    return reply.accept && !reply.fileName.empty();
}

bool FakeCommonDialog::valueDialog(const std::string& kind) {
    const DialogReply reply = next(kind);
    if (reply.accept && reply.values) {
        const std::int32_t flags = props_.Flags;
        const std::string title = props_.DialogTitle, filter = props_.Filter, file = props_.FileName;
        props_ = *reply.values;
        props_.Flags = flags;
        props_.DialogTitle = title;
        props_.Filter = filter;
        props_.FileName = file;
    }
    return reply.accept;
}

bool FakeCommonDialog::ShowPrinter() { return next("printer").accept; }

FakeWindow::FakeWindow()
    : frm(FormControls{form, html, cssPane, jsPane, label1, label4, label5, text2, browser, dialog, toolbar,
                       viewToolbar, txtL, txtC, txtR, clipboard, prompt, launcher, clock}) {
    label1.text = text::kHtmlCaption;
    label4.text = text::kCssCaption;
    label5.text = text::kJsCaption;
    label1.color = kInactiveTitleBarColor;
    viewToolbar.mark = true;
    for (auto* item : {&txtL, &txtC, &txtR}) item->log = &markLog;
    txtL.name = "L";
    txtC.name = "C";
    txtR.name = "R";
    // The window fills in the sample text before its change events are connected.
    html.text = def::sampleText();
    frm.Form_Load();
}

}  // namespace corvane::fakes
