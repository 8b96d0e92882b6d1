// Resource identifiers of the session-switch library Lqnmod.
#pragma once

#define IDD_SESSION_MONITOR 1000
#define IDC_MONITOR_TEXT 1000

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
