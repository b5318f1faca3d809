// Pseudo-terminal helpers for POSIX-side tools and tests: the sensor board emulator serves the
// master side, clients open the slave side as a serial port. Everything that needs termios or
// ioctl on a pseudo-terminal lives here; callers only see file descriptors and paths.
//
// Master file descriptors are non-blocking and close-on-exec. Speeds go through the termios2
// helpers (any integer rate), never through glibc's speed_t.
#pragma once

#include <cstdint>
#include <string>

namespace pty {

/// Opens a new pseudo-terminal pair: returns the master fd (non-blocking, close-on-exec) and
/// stores the slave's path (/dev/pts/N) in `slavePath`; -1 (errno set) when none can be had.
/// The slave is unlocked and put in raw mode, then closed again, so the master starts out in the
/// state it is in whenever no client has the slave open: poll reports POLLHUP.
int OpenMaster(std::string* slavePath);

/// Opens `path` (a slave or a real serial device) as the client side of a line: read/write,
/// non-blocking, close-on-exec, no controlling terminal, raw mode, at `baud` (0 keeps the speed).
/// Returns the fd, or -1 (errno set).
int OpenRaw(const std::string& path, uint32_t baud);

/// Throws away the bytes that the master wrote and no client has read yet, as a serial port loses
/// what arrived while nobody had it open. Opens the slave for a moment. Returns false (errno set)
/// when the slave cannot be opened; the bytes then stay.
bool DiscardUnread(const std::string& slavePath);

} // namespace pty
