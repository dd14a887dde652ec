// The resource module of wobblegen: what AfxWinMain is given as the program's module handle.
#pragma once

#include "afx/afxres.h"

extern const ResourceModule wobblegenResources;

// The 32 x 32 application icon image, also written out as the desktop icon.
extern const IconGroup wobblegenAppIcon;
