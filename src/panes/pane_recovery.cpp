#include "app/frm_m.h"

namespace corvane {

std::vector<journal::PaneRecord> frmM::unsavedPanes(bool withCaret) {
    std::vector<journal::PaneRecord> panes;
    for (const PaneId id : {PaneId::Html, PaneId::Css, PaneId::Js}) {
        Pane p = pane(id);
        if (p.dirty != kTrue) continue;
        journal::PaneRecord record;
        record.pane = id;
        record.path = p.path;
        record.format = p.format;
        if (withCaret) record.caret = p.edit.caretPosition();
        if (const auto known = p.known.find(p.path); known != p.known.end()) record.stamp = known->second;
        panes.push_back(std::move(record));
    }
    return panes;
}

void frmM::restorePanes(const journal::Journal& journal) {
    for (const journal::PaneRecord& record : journal.panes) {
        Pane p = pane(record.pane);
        // The load raises the change handler: the pane is unsaved and its header says so.
        p.edit.loadPlainText(record.text);
        p.format = record.format;
        p.path = record.path;
        p.hasFile = record.path.empty() ? kFalse : kTrue;
        if (record.stamp.known) p.known[record.path] = record.stamp;
        p.edit.setCaretPosition(static_cast<long>(record.caret));
        p.dirty = kTrue;
        p.header.setCaption(std::string(p.unsavedCaption));
    }
}

}  // namespace corvane
