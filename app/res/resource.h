// Resource and control identifiers of the Korvane program.
#pragma once

// Dialog templates, strings and the icon.
#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_KORVANE_DIALOG 102
#define IDR_MAINFRAME 128
#define IDD_PORTSELECT 129
#define IDD_TREND 130
#define IDS_TREND 131

// Controls.
#define IDC_PORTNUMBER 1001
#define IDC_TILT 1004
#define IDC_DVM 1005
#define IDC_XVALUE 1006
#define IDC_YVALUE 1007
#define IDC_RIGHTBUTTON 1008
#define IDC_LEFTBUTTON 1009
#define IDC_TREND_PAUSE 1010
#define IDC_TREND_SAVE 1011
#define IDC_TREND_SPAN10 1012
#define IDC_TREND_SPAN60 1013
#define IDC_TREND_SPAN600 1014

// Command ids of the About and Trend items in the system menu (the low four bits are the system's).
#define IDM_ABOUTBOX 0x0010
#define IDM_TREND 0x0020
