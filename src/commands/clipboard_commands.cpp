#include "app/frm_m.h"

namespace corvane {

// The Edit commands always work on the HTML pane, whichever pane has the focus.

void frmM::mnuEditCut_Click() {
    const std::string selected = c_.RichTextBox1.selText();
    c_.clipboard.setText(selected);
    c_.RichTextBox1.setSelText("");  // only once the clipboard holds the text
}

void frmM::mnuEditCopy_Click() { c_.clipboard.setText(c_.RichTextBox1.selText()); }

void frmM::mnuEditPaste_Click() { c_.RichTextBox1.setSelText(c_.clipboard.getText()); }

}  // namespace corvane
