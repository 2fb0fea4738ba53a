#include "app/frm_m.h"

#include "app/captions.h"

namespace corvane {

frmM::frmM(const FormControls& controls) : c_(controls) {
    c_.RichTextBox1.onChange = [this] { RichTextBox1_Change(); };
    c_.RichTextBox2.onChange = [this] { RichTextBox2_Change(); };
    c_.RichTextBox3.onChange = [this] { RichTextBox3_Change(); };
}

frmM::Pane frmM::pane(PaneId id) {
    switch (id) {
        case PaneId::Css:
            return {c_.RichTextBox2,   c_.Label4,         css,
                    change1,           cssDirty,          cssSelected,
                    text::kCssCaption, text::kCssUnsaved, text::kCssFilter,
                    cssFormat,         cssKnown};
        case PaneId::Js:
            return {
                c_.RichTextBox3,  c_.Label5,       js,       change2, jsDirty, jsSelected, text::kJsCaption,
                text::kJsUnsaved, text::kJsFilter, jsFormat, jsKnown};
        case PaneId::Html:
        default:
            return {c_.RichTextBox1,
                    c_.Label1,
                    htm,
                    change,
                    htmlDirty,
                    htmlSelected,
                    text::kHtmlCaption,
                    text::kHtmlUnsaved,
                    text::kHtmlFilter,
                    htmlFormat,
                    htmlKnown};
    }
}

void frmM::Form_Load() {
    // Filling in the sample text while the window was built may have marked the HTML pane.
    htmlDirty = kFalse;
    htm.clear();
    change = kFalse;
    c_.RichTextBox1.setWordWrapOff();
    c_.RichTextBox2.setWordWrapOff();
    c_.RichTextBox3.setWordWrapOff();
}

bool frmM::anyPaneUnsaved() const { return htmlDirty == kTrue || cssDirty == kTrue || jsDirty == kTrue; }

void frmM::Form_QueryUnload(std::int16_t& cancel, int /*unloadMode*/) {
    // Every pane is asked about, not only the HTML pane: unsaved CSS or JS is work too.
    if (!anyPaneUnsaved()) return;
    // The window stays until the answer is Yes: a question that cannot be asked loses no work.
    const std::int16_t given = cancel;
    cancel = kTrue;
    if (c_.prompt.askYesNo(std::string(text::kQuitPrompt), std::string(text::kQuitTitle)) == Answer::Yes) {
        cancel = given;
    }
}

void frmM::Timer1_Timer() {
    const LocalTime now = c_.clock.now();
    std::string display(text::kClockPrefix);
    display += now.shortDate;
    if (now.hour != 0 || now.minute != 0 || now.second != 0) {
        display += ' ';
        display += now.longTime;
    }
    c_.Text2.setText(display);
}

void frmM::paneChanged(PaneId id) {
    Pane p = pane(id);
    p.dirty = kTrue;
    p.header.setCaption(std::string(p.unsavedCaption));
}

void frmM::RichTextBox1_Change() { paneChanged(PaneId::Html); }
void frmM::RichTextBox2_Change() { paneChanged(PaneId::Css); }
void frmM::RichTextBox3_Change() { paneChanged(PaneId::Js); }

}  // namespace corvane
