// Resource identifiers of Tarvolt.exe.
#pragma once

// Dialogs
#define IDD_ABOUTBOX 100
#define IDD_KEY_SERVICE 102
#define IDD_MARKER 135

// Controls
#define IDC_KEY_SERVICE_IMAGE 1005
// Image reference of the key-service window's static control; the program
// holds no resource of this number, so the control shows nothing.
#define IDB_KEY_SERVICE_IMAGE 137

// Icons and menus
#define IDI_TARVOLT 130
#define IDR_TRAY_MENU 131

// Menu commands
#define IDM_ABOUTBOX 0x0010
#define ID_TRAY_ABOUT 32771
#define ID_TRAY_USERCONFIG 32772
#define ID_TRAY_EXIT 32773

// Strings
#define IDS_ABOUTBOX 101
#define IDS_TRAY_TIP 102
#define IDS_CONFIG_PROGRAM 103
#define IDS_INSTANCE_GUID 105
#define IDS_UNSUPPORTED_WINDOWS 106
#define IDS_NO_MARKER_WINDOW 107
#define IDS_PROG1 501
#define IDS_PROG2 502
#define IDS_MY_COMPUTER 507
#define IDS_MUTE 511

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
