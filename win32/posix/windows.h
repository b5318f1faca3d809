// The part of the Windows API that Korvane uses, for POSIX systems.
//
// On Windows the real <windows.h> is used instead (CMake chooses the include directory), so this
// header declares only real Windows names, types and constants, with their real values. Services
// that exist only on the POSIX side (installing the message box of the window layer) are in
// win32_posix.h.
#pragma once

#include <cstddef>
#include <cstdint>

typedef uint32_t DWORD;
typedef int32_t LONG;
typedef int BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef unsigned int UINT;
typedef char CHAR;
typedef const char* LPCSTR;
typedef char* LPSTR;
typedef void* LPVOID;
typedef void* HANDLE;
typedef struct HWND__* HWND;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
#define WINAPI

// Message box types and results.
#define MB_OK 0x00000000u
#define IDOK 1
#define IDCANCEL 2

/// Milliseconds since an arbitrary start, as an unsigned 32-bit count that wraps after ~49.7 days.
/// Monotonic: changing the wall clock does not move it.
DWORD GetTickCount(void);

/// Suspends the calling thread for at least `ms` milliseconds; 0 gives up the rest of the time slice.
void Sleep(DWORD ms);

/// The window that has the keyboard focus, or null. The window layer supplies it on POSIX.
HWND GetFocus(void);

/// Shows a modal message box and returns the button chosen (IDOK for MB_OK). On POSIX the window
/// layer installs the box; until then the caption and text go to standard error and IDOK comes back.
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

/// printf-style formatting like the Windows function: at most 1024 bytes are written, the
/// terminator included, so `buffer` needs at most 1024 bytes. Returns the characters stored,
/// without the terminator.
int wsprintfA(LPSTR buffer, LPCSTR format, ...) __attribute__((format(printf, 2, 3)));

#include "winbase_serial.h"
