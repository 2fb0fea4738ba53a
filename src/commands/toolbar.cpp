#include <array>
#include <utility>

#include "app/frm_m.h"

namespace corvane {

namespace {
using Handler = void (frmM::*)();
// Compared in this order; the first equal key runs its command.
constexpr std::array<std::pair<std::string_view, Handler>, 15> kDispatch{{
    {"新建", &frmM::mnuFileNew_Click},
    {"打开", &frmM::mnuFileOpen_Click},
    {"保存", &frmM::mnuFileSave_Click},
    {"打印", &frmM::mnuFilePrint_Click},
    {"剪切", &frmM::mnuEditCut_Click},
    {"复制", &frmM::mnuEditCopy_Click},
    {"粘贴", &frmM::mnuEditPaste_Click},
    {"字体", &frmM::mnuTxtFont_Click},
    {"字体颜色", &frmM::mnuTxtColor_Click},
    {"粗体", &frmM::mnuTxtBold_Click},
    {"斜体", &frmM::mnuTxtItalic_Click},
    {"下划线", &frmM::mnuTxtUnderline_Click},
    {"左对齐", &frmM::mnuTxtL_Click},
    {"置中", &frmM::mnuTxtC_Click},
    {"右对齐", &frmM::mnuTxtR_Click},
}};
}  // namespace

// A failure inside the command is not swallowed here: it ends the command and reaches the user
// exactly as it would from the menu.
void frmM::tbToolBar_ButtonClick(std::string_view key) {
    for (const auto& [candidate, handler] : kDispatch) {
        if (candidate == key) {
            (this->*handler)();
            return;
        }
    }
}

void frmM::mnuViewToolbar_Click() {
    c_.mnuViewToolbar.setChecked(!c_.mnuViewToolbar.checked());
    c_.tbToolBar.setVisible(c_.mnuViewToolbar.checked());
}

}  // namespace corvane
