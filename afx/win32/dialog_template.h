// Win32 dialog templates in memory, for the dialog manager's CreateDialogIndirectParam.
#pragma once

#include <vector>

#include "afx/afxres.h"

namespace afx {

// The template as a resource compiler writes it, in 16-bit words: DLGTEMPLATEEX with
// DLGITEMTEMPLATEEX items when the framework's template is extended, DLGTEMPLATE with
// DLGITEMTEMPLATE items otherwise; the font as the template names it (DS_SETFONT); items as
// visible child windows, classes by their atoms, icon statics without a name (the backend
// sets their image). WS_VISIBLE is left out: the modal loop shows the dialog once set up.
std::vector<WORD> BuildWin32DialogTemplate(const DialogTemplate& dialog);

}  // namespace afx
