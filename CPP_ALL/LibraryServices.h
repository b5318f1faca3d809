// LibraryServices: what the link library asks of the system besides the serial API: the
// millisecond tick count its waits measure, and the message box that reports a fatal library
// error. By default these are GetTickCount and MessageBoxA; a test installs its own, on Windows as
// on POSIX, to move the clock anywhere (the 2^32 wrap included) or to see a fatal error as text.
#pragma once

#include <windows.h>

class LibraryServices {
public:
    virtual ~LibraryServices() = default;
    /// Milliseconds as a wrapping 32-bit count; by default GetTickCount().
    virtual DWORD TickCount();
    /// Shows `text` under `caption` and returns once it was seen; by default a MessageBoxA with OK
    /// over the focus window.
    virtual void ShowError(const char* text, const char* caption);
};

/// The services in use: the installed ones, or the defaults.
LibraryServices& Services();

/// Installs `services` (not owned; they must outlive their use), or the defaults again for null.
/// Returns what was installed before (null for the defaults).
LibraryServices* SetLibraryServices(LibraryServices* services);
