// Names of the Windows window system that the window framework uses: messages, window and control
// styles, menu flags, pens, colours and metrics, with their real Windows values so that resource
// templates and application code read as they would on Windows. The basic types (DWORD, BOOL, HWND)
// and the message-box names come from <windows.h>.
#pragma once

#include <windows.h>

#include <cstdint>

typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef uintptr_t UINT_PTR;
typedef intptr_t INT_PTR;
typedef DWORD COLORREF;
typedef struct HICON__* HICON;
typedef struct HDC__* HDC;
typedef struct HMENU__* HMENU;
typedef HICON HCURSOR;
typedef void (*TIMERPROC)(HWND, UINT, UINT_PTR, DWORD);

typedef struct tagRECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
} RECT, *LPRECT;
typedef const RECT* LPCRECT;

typedef struct tagPOINT {
    LONG x;
    LONG y;
} POINT;

/// A COLORREF from red, green and blue (0x00BBGGRR).
#define RGB(r, g, b) ((COLORREF)(((BYTE)(r)) | ((WORD)((BYTE)(g)) << 8) | (((DWORD)(BYTE)(b)) << 16)))
#define GetRValue(c) ((BYTE)(c))
#define GetGValue(c) ((BYTE)((c) >> 8))
#define GetBValue(c) ((BYTE)((c) >> 16))
#define LOWORD(l) ((WORD)(((uintptr_t)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((uintptr_t)(l)) >> 16) & 0xffff))
#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)(((WORD)(l)) | ((DWORD)((WORD)(h))) << 16))

// Messages.
#define WM_DESTROY 0x0002
#define WM_PAINT 0x000F
#define WM_SIZE 0x0005
#define WM_CLOSE 0x0010
#define WM_ICONERASEBKGND 0x0027
#define WM_QUERYDRAGICON 0x0037
#define WM_SETICON 0x0080
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_SYSCOMMAND 0x0112
#define WM_TIMER 0x0113

// Button notification carried in the high word of WM_COMMAND's wParam.
#define BN_CLICKED 0

// System commands (WM_SYSCOMMAND wParam; the low four bits are the system's own).
#define SC_MINIMIZE 0xF020
#define SC_CLOSE 0xF060
#define SC_RESTORE 0xF120

// ShowWindow commands.
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOWMINIMIZED 2
#define SW_SHOW 5
#define SW_MINIMIZE 6
#define SW_RESTORE 9

// WM_SETICON sizes.
#define ICON_SMALL 0
#define ICON_BIG 1

// Window styles.
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_MINIMIZE 0x20000000L
#define WS_VISIBLE 0x10000000L
#define WS_DISABLED 0x08000000L
#define WS_CAPTION 0x00C00000L
#define WS_BORDER 0x00800000L
#define WS_DLGFRAME 0x00400000L
#define WS_VSCROLL 0x00200000L
#define WS_HSCROLL 0x00100000L
#define WS_SYSMENU 0x00080000L
#define WS_THICKFRAME 0x00040000L
#define WS_GROUP 0x00020000L
#define WS_TABSTOP 0x00010000L
#define WS_MINIMIZEBOX 0x00020000L
#define WS_MAXIMIZEBOX 0x00010000L
#define WS_EX_DLGMODALFRAME 0x00000001L
#define WS_EX_APPWINDOW 0x00040000L

// Dialog styles.
#define DS_MODALFRAME 0x80L
#define DS_SETFONT 0x40L
#define DS_CENTER 0x0800L

// Button styles (the low four bits are the button type).
#define BS_PUSHBUTTON 0x0L
#define BS_DEFPUSHBUTTON 0x1L
#define BS_CHECKBOX 0x2L
#define BS_AUTOCHECKBOX 0x3L
#define BS_RADIOBUTTON 0x4L
#define BS_AUTORADIOBUTTON 0x9L
#define BS_TYPEMASK 0xFL
#define BST_UNCHECKED 0x0
#define BST_CHECKED 0x1

// Edit styles.
#define ES_LEFT 0x0000L
#define ES_AUTOHSCROLL 0x0080L
#define ES_READONLY 0x0800L

// Static styles.
#define SS_LEFT 0x0L
#define SS_CENTER 0x1L
#define SS_RIGHT 0x2L
#define SS_ICON 0x3L
#define SS_TYPEMASK 0x1FL
#define SS_NOPREFIX 0x80L

// Menu flags.
#define MF_STRING 0x0000L
#define MF_GRAYED 0x0001L
#define MF_DISABLED 0x0002L
#define MF_SEPARATOR 0x0800L

// Pens, background modes and metrics.
#define PS_SOLID 0
#define TRANSPARENT 1
#define OPAQUE 2
#define SM_CXICON 11
#define SM_CYICON 12
#define SM_CXSMICON 49
#define SM_CYSMICON 50

// Text alignment (SetTextAlign): one horizontal and one vertical value, or-ed.
#define TA_LEFT 0
#define TA_RIGHT 2
#define TA_CENTER 6
#define TA_TOP 0
#define TA_BOTTOM 8
#define TA_BASELINE 24

// File dialog flags (CFileDialog).
#define OFN_OVERWRITEPROMPT 0x00000002L
#define OFN_HIDEREADONLY 0x00000004L
#define OFN_PATHMUSTEXIST 0x00000800L
#define OFN_FILEMUSTEXIST 0x00001000L

// More message-box types and results than <windows.h> needs for the library.
#define MB_OKCANCEL 0x00000001L
#define MB_YESNO 0x00000004L
#define MB_TYPEMASK 0x0000000FL
#define MB_ICONERROR 0x00000010L
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONWARNING 0x00000030L
#define MB_ICONINFORMATION 0x00000040L
#define MB_ICONMASK 0x000000F0L
#define IDYES 6
#define IDNO 7

// Framework command ids.
#define ID_HELP 0xE146
#define AFX_IDS_APP_TITLE 0xE000

/// Size in pixels of a system metric: SM_CXICON/SM_CYICON 32, SM_CXSMICON/SM_CYSMICON 16, else 0.
int GetSystemMetrics(int index);
