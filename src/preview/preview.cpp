#include "app/frm_m.h"
#include "panes/file_io.h"
#include "preview/page_join.h"
#include "preview/preview_file.h"

namespace corvane {

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

}  // namespace

PreviewPage frmM::previewPage() const {
    const std::string html = c_.RichTextBox1.plainText();
    // A pane with a file of its own reaches the page through that file's name; one without joins it.
    const bool cssJoins = previewJoinsPanes && css.empty();
    const bool jsJoins = previewJoinsPanes && js.empty();
    const std::string cssText = cssJoins || !css.empty() ? c_.RichTextBox2.plainText() : std::string();
    const std::string jsText = jsJoins || !js.empty() ? c_.RichTextBox3.plainText() : std::string();
    JoinedPage joined =
        joinPanes(html, cssJoins ? cssText : std::string_view(), jsJoins ? jsText : std::string_view());
    PreviewPage page;
    page.text = std::move(joined.text);
    page.lines = std::move(joined.lines);
    if (!css.empty()) page.linked.push_back({PaneId::Css, css, cssText});
    if (!js.empty()) page.linked.push_back({PaneId::Js, js, jsText});
    page.address = !htm.empty() ? htm : htmlOpened;
    return page;
}

void frmM::Command1_Click() {
    PreviewPage page = previewPage();
    const std::string previewFile = previewFilePath();
    // UTF-8 with its mark: the browser shows the pane's characters whatever the page declares. The
    // copy in the private folder is for the desktop's browser; the preview itself reads no file.
    writeFileAtomic(previewFile, std::string(kUtf8Mark) + page.text);
    if (page.address.empty()) page.address = previewFile;
    c_.WebBrowser1.showPage(page);
}

void frmM::OpenPreviewInBrowser() {
    const std::string previewFile = previewFilePath();
    writeFileAtomic(previewFile, std::string(kUtf8Mark) + previewPage().text);
    c_.launcher.openUrl("file://" + previewFile);
}

}  // namespace corvane
