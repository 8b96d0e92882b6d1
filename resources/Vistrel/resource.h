// Resource identifiers of Vistrel.exe.
#pragma once

#define IDR_MAINFRAME 128
#define IDD_OSD_DIALOG 129
#define IDD_SHAPED_TEXT 133

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
