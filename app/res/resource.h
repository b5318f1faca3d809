// Resource and control identifiers of the Korvane program.
#pragma once

// Dialog templates, strings and the icon.
#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_KORVANE_DIALOG 102
#define IDR_MAINFRAME 128
#define IDD_PORTSELECT 129

// Controls.
#define IDC_PORTNUMBER 1001
#define IDC_TILT 1004
#define IDC_DVM 1005
#define IDC_XVALUE 1006
#define IDC_YVALUE 1007
#define IDC_RIGHTBUTTON 1008
#define IDC_LEFTBUTTON 1009

// Command id of the About item in the system menu (the low four bits are the system's).
#define IDM_ABOUTBOX 0x0010
