// String-table text and the message box captioned with the program's name.
#pragma once

#include <windows.h>

#include <string>

// Text of string resource id of this module, empty when there is none.
std::string AfxLoadString(UINT id);

// The running executable's name without folder and extension.
std::string AfxGetProgramName();

// Message box owned by the main window (when there is one), captioned with
// the program's name.
int AfxMessageBox(const std::string& text, UINT type = MB_OK);
int AfxMessageBox(UINT stringId, UINT type = MB_OK);
