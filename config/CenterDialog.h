// Opens a dialog in the middle of its owner, or of the work area when it has
// none, as dialogs of this kind of program are shown.
#pragma once

#include <windows.h>

void CenterDialog(HWND dialog);
