#include "app/frm_m.h"
#include "panes/pane_file.h"
#include "preview/preview_file.h"

namespace corvane {

void frmM::Command1_Click() {
    const std::string previewFile = previewFilePath();
    // UTF-8 with its mark: the browser shows the pane's characters whatever the page declares.
    SaveFile(c_.RichTextBox1, previewFile, utf8Format(true));
    // Once the pane has a file, the page shown is that file as last saved.
    c_.WebBrowser1.navigate(htm.empty() ? previewFile : htm);
}

}  // namespace corvane
