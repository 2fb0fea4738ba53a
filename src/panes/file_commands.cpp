#include "app/captions.h"
#include "app/frm_m.h"
#include "app/window_definition.h"
#include "panes/pane_file.h"
#include "panes/text_encoder.h"
#include "panes/utf.h"

namespace corvane {

void frmM::mnuFileNew_Click() {
    c_.RichTextBox1.setText("");
    htmlFormat = TextFormat{};
    c_.form.setCaption(std::string(def::kCaptionAfterNew));
}

void frmM::mnuFileOpen_Click() {
    CommonDialog& dialog = c_.dlgCommonDialog;
    dialog.props().DialogTitle = text::kOpenTitle;
    dialog.props().Filter = text::kOpenFilter;
    dialog.ShowOpen();
    const std::string fileName = dialog.props().FileName;
    if (fileName.empty()) return;
    OpenFile(fileName);
}

void frmM::OpenFile(const std::string& fileName) {
    // Open shows a file; it does not make it the pane's file, so htm and the header stay.
    const LoadedFile loaded = LoadFile(c_.RichTextBox1, fileName);
    htmlFormat = loaded.format;
    htmlOpened = fileName;
    htmlKnown[fileName] = loaded.stamp;
    c_.form.setCaption(fileName);
    if (loaded.unreadableBytes != 0) {
        c_.prompt.tell(text::unreadableBytesMessage(loaded.unreadableBytes, loaded.format.encoding),
                       std::string(text::kOpenedTitle));
    }
}

// Writes a pane as the file last loaded into it stored its text. When that encoding cannot hold a
// character typed since, asks whether to write UTF-8 with a byte-order mark instead, which every
// browser reads as UTF-8 whatever the page declares; No writes nothing and returns false.
bool frmM::writePane(PaneId id, const std::string& path) {
    Pane p = pane(id);
    try {
        p.known[path] = SaveFile(p.edit, path, p.format);
        return true;
    } catch (const UnencodableCharacter& error) {
        std::string character;
        utf::appendUtf8(error.character(), character);
        const std::string question = text::unencodableMessage(character, error.encoding());
        if (c_.prompt.askYesNo(question, std::string(text::kSaveTitle)) == Answer::No) return false;
    }
    const TextFormat utf8 = utf8Format(true, p.format.lineEnd);
    p.known[path] = SaveFile(p.edit, path, utf8);
    p.format = utf8;
    return true;
}

// Returns whether the Save As completed; a cancelled dialog changes nothing.
bool frmM::saveAsStep(PaneId id) {
    Pane p = pane(id);
    CommonDialog& dialog = c_.dlgCommonDialog;
    dialog.props().DialogTitle = text::kSaveAsTitle;
    dialog.props().Filter = p.filter;
    dialog.ShowSave();
    const std::string fileName = dialog.props().FileName;
    if (fileName.empty()) return false;
    if (!writePane(id, fileName)) return false;
    p.path = fileName;
    c_.form.setCaption(fileName);
    p.dirty = kFalse;
    p.hasFile = kTrue;
    p.header.setCaption(std::string(p.savedCaption));
    return true;
}

void frmM::mnuFileSaveAs_Click() { saveAsStep(PaneId::Html); }
void frmM::SaveCssAs() { saveAsStep(PaneId::Css); }
void frmM::SaveJsAs() { saveAsStep(PaneId::Js); }

// Writes the pane to its file. A pane that no Save As has completed for has no file to write to,
// so it asks for a name instead of writing anywhere. A file another program changed since the pane
// last read or wrote it is overwritten only when the person says so; a file removed meanwhile is
// simply written again.
void frmM::writeStep(PaneId id) {
    Pane p = pane(id);
    if (p.path.empty()) {
        saveAsStep(id);
        return;
    }
    const auto known = p.known.find(p.path);
    if (known != p.known.end() && fileStateAgainst(p.path, known->second) == FileState::Changed &&
        c_.prompt.askYesNo(text::changedOnDiskQuestion(p.path), std::string(text::kSaveTitle)) ==
            Answer::No) {
        return;
    }
    if (!writePane(id, p.path)) return;
    p.header.setCaption(std::string(p.savedCaption));
    p.dirty = kFalse;
}

// The save step of a pane, shared by Save and the header double-click. Its unsaved flag is
// cleared only by a write or a completed Save As: a cancelled dialog leaves the edits marked.
void frmM::saveStep(PaneId id) {
    Pane p = pane(id);
    if (p.dirty == kTrue && p.hasFile == kFalse) {
        saveAsStep(id);
    } else {
        writeStep(id);
    }
}

void frmM::SaveCss() { saveStep(PaneId::Css); }
void frmM::SaveJs() { saveStep(PaneId::Js); }

void frmM::mnuFileSave_Click() {
    // The HTML pane is written whichever pane is selected; its Save As is asked for here only
    // while it is the selected pane.
    if (htmlSelected == 1 && htmlDirty == kTrue && change == kFalse) {
        mnuFileSaveAs_Click();
    } else {
        writeStep(PaneId::Html);
    }
    if (cssSelected == 1) SaveCss();
    if (jsSelected == 1) SaveJs();
}

void frmM::mnuFilePrint_Click() {
    CommonDialog& dialog = c_.dlgCommonDialog;
    dialog.props().Flags = kPdReturnDc + kPdNoPageNums;
    dialog.props().Flags += c_.RichTextBox1.selLength() != 0 ? kPdSelection : 0;
    if (!dialog.ShowPrinter()) return;  // a cancelled printer dialog prints nothing
    c_.RichTextBox1.selPrint(dialog.hDC());
}

void frmM::mnuFileExit_Click() { c_.form.close(); }

}  // namespace corvane
