#include "modules/modDrag.h"

#include "forms/frmMain.h"
#include "platform/WindowMove.h"

namespace modDrag {

void DragForm(frmMain& form) { platform::windowMove().start(form); }

}  // namespace modDrag
