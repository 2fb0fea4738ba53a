#include "app/frm_m.h"

namespace corvane {

// Every formatting command works on the HTML pane's selection.

namespace {
Tristate fromBool(bool value) { return value ? Tristate::True : Tristate::False; }
}  // namespace

void frmM::mnuTxtFont_Click() {
    CommonDialog& dialog = c_.dlgCommonDialog;
    dialog.props().Flags = kCfBoth;
    if (!dialog.ShowFont()) return;  // Cancel leaves the text as it was
    const CommonDialogProperties& font = dialog.props();
    RichEdit& pane = c_.RichTextBox1;
    pane.setSelFontName(font.FontName);
    pane.setSelFontSize(font.FontSize);
    pane.setSelBold(fromBool(font.FontBold));
    pane.setSelItalic(fromBool(font.FontItalic));
    pane.setSelUnderline(fromBool(font.FontUnderline));
    pane.setSelStrikeThru(fromBool(font.FontStrikethru));
}

void frmM::mnuTxtColor_Click() {
    // The options stay as the last command left them: the dialog is shared.
    CommonDialog& dialog = c_.dlgCommonDialog;
    if (!dialog.ShowColor()) return;
    c_.RichTextBox1.setSelColor(dialog.props().Color);
}

void frmM::mnuTxtBold_Click() { c_.RichTextBox1.setSelBold(negate(c_.RichTextBox1.selBold())); }
void frmM::mnuTxtItalic_Click() { c_.RichTextBox1.setSelItalic(negate(c_.RichTextBox1.selItalic())); }
void frmM::mnuTxtUnderline_Click() {
    c_.RichTextBox1.setSelUnderline(negate(c_.RichTextBox1.selUnderline()));
}

// The marks are set in the order Right, Left, Centre, then the paragraphs are aligned.
void frmM::alignment(bool left, bool centre, bool right, std::int16_t code) {
    c_.mnuTxtR.setChecked(right);
    c_.mnuTxtL.setChecked(left);
    c_.mnuTxtC.setChecked(centre);
    c_.RichTextBox1.setSelAlignment(code);
}

void frmM::mnuTxtL_Click() { alignment(true, false, false, 0); }
void frmM::mnuTxtC_Click() { alignment(false, true, false, 2); }
void frmM::mnuTxtR_Click() { alignment(false, false, true, 1); }

}  // namespace corvane
