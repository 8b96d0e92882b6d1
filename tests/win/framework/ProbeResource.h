#pragma once

#define IDD_PROBE 100
#define IDC_GREETING 1000
#define IDC_FILL 1001
#define IDC_RESULT 1002
#define IDC_ASK 1003
#define IDS_QUESTION 200

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
