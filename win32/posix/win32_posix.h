// POSIX-only services of the Windows API stand-in: what Windows provides by itself and POSIX code
// must plug in (the message box of the window layer, the focus window) and where the COM links
// live. Nothing here exists on Windows; only POSIX-side code includes this header.
#pragma once

#include <windows.h>

#include <string>

namespace win32posix {

/// Shows a message box; same arguments and result as MessageBoxA.
using MessageBoxHandler = int (*)(HWND owner, const char* text, const char* caption, UINT type);
/// Returns the window with the keyboard focus, or null.
using FocusSource = HWND (*)();

/// Installs the handler behind MessageBoxA; null restores the default (print to stderr, IDOK).
/// Returns the previous handler (null when the default was in place).
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

/// Installs the source behind GetFocus; null restores the default (no focus window).
FocusSource SetFocusSource(FocusSource source);

/// The user's configuration directory: $XDG_CONFIG_HOME when it is an absolute path (the XDG rules
/// ignore a relative one), else ~/.config ($HOME, or the password entry when HOME is unset); empty
/// when no home directory is known.
std::string ConfigHomeDirectory();

/// The directory of the COM links: <ConfigHomeDirectory()>/korvane/devices. "\\.\COMn" opens the
/// entry COMn there when it exists, else /dev/ttyS<n-1>.
std::string ComDeviceDirectory();

/// Waits at most `timeoutMs` until bytes arrive on the serial `handle` or, after a write that its
/// device could not take whole, room frees; returns at once when either happened since the previous
/// wait (bytes already queued before it do not end it: a caller waiting for more sleeps). TRUE,
/// also when the time ran out; FALSE with the last error set for a handle that is not a serial one
/// or a device that failed (the call then still takes its `timeoutMs`, so a caller that loops on it
/// does not spin).
BOOL WaitCommReady(HANDLE handle, DWORD timeoutMs);

/// Asks the driver of the serial `handle` to pass received bytes on at once (ASYNC_LOW_LATENCY);
/// the previous setting comes back when the handle closes. TRUE when set; FALSE with
/// ERROR_NOT_SUPPORTED when the driver offers no such flag (a pseudo-terminal, most CDC-ACM
/// drivers), or another error.
BOOL SetCommLowLatency(HANDLE handle);

} // namespace win32posix
