#include "app/frm_m.h"
#include "app/window_definition.h"

namespace corvane {

void frmM::Label3_Click() { c_.WebBrowser1.navigate(std::string(def::kContactChatAddress)); }

void frmM::qzone_Click() { c_.launcher.openUrl(std::string(def::kHomePageAddress)); }

}  // namespace corvane
