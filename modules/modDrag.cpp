#include "modules/modDrag.h"

namespace modDrag {

// Interim: the window move comes with the title bar work.
void DragForm(frmMain& /*form*/) {}

}  // namespace modDrag
