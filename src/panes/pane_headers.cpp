#include "app/frm_m.h"

namespace corvane {

namespace {
constexpr int kPaneHeightTwips = 9375;
constexpr PaneId kPanes[] = {PaneId::Html, PaneId::Css, PaneId::Js};
}  // namespace

// Shows the chosen pane alone by giving the others no height; their order and content stay.
void frmM::headerClick(PaneId id) {
    for (PaneId other : kPanes) pane(other).selected = other == id ? 1 : 0;
    for (PaneId other : kPanes) {
        pane(other).header.setBackColor(other == id ? kInactiveTitleBarColor : kButtonFaceColor);
    }
    for (PaneId other : kPanes) {
        if (other != id) pane(other).edit.setHeightTwips(0);
    }
    pane(id).edit.setHeightTwips(kPaneHeightTwips);
}

void frmM::Label1_Click() { headerClick(PaneId::Html); }
void frmM::Label4_Click() { headerClick(PaneId::Css); }
void frmM::Label5_Click() { headerClick(PaneId::Js); }

void frmM::Label1_DblClick() { saveStep(PaneId::Html); }
void frmM::Label4_DblClick() { saveStep(PaneId::Css); }
void frmM::Label5_DblClick() { saveStep(PaneId::Js); }

}  // namespace corvane
