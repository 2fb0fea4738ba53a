#include "app/frm_m.h"
#include "panes/pane_file.h"
#include "preview/preview_file.h"

namespace corvane {

void frmM::Command1_Click() {
    const std::string previewFile = previewFilePath();
    SaveFile(c_.RichTextBox1, previewFile);
    // Once the pane has a file, the page shown is that file as last saved.
    c_.WebBrowser1.navigate(htm.empty() ? previewFile : htm);
}

}  // namespace corvane
