// Resource identifiers of Pellor, the user-key configuration program.
#pragma once

#define IDD_USERKEYS_DIALOG 102
#define IDD_DEFINE_KEY_DIALOG 129

#define IDI_PELLOR 131

#define IDS_USER_KEY_CONFIGURATION 102
#define IDS_SAVE_CHANGES 103
#define IDS_CANCEL_CHANGES 104
#define IDS_RESET_ALL_SETTINGS 108
#define IDS_PATH_TOO_LONG 109
#define IDS_PROG1 501
#define IDS_PROG2 502

// Main dialog
#define IDC_RESET_ALL 3
#define IDC_APPLY 1008
#define IDC_PROG1_LABEL 1009
#define IDC_PROG2_LABEL 1010
#define IDC_PROG1_COMMAND 2001
#define IDC_PROG2_COMMAND 2002
#define IDC_PROG1_MODIFY 2101
#define IDC_PROG2_MODIFY 2102
#define IDC_LAST_MODIFY 2117

// Key editor
#define IDC_URL 1004
#define IDC_PROGRAM 1005
#define IDC_LOCATION 1006
#define IDC_BROWSE 1007

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
