#include "app/frm_m.h"
#include "layout/proportional_layout.h"

namespace corvane {

// Runs on the window's first showing and after every size change, minimising and restoring
// included. Every failure inside is absorbed: a resize never troubles the user.
void frmM::Form_Resize(LayoutWindow& self) { ResizeFormAbsorbingFailures(self); }

}  // namespace corvane
