// Raw termios2 access for POSIX-side code (the serial stand-in, pseudo-terminal helpers, tools).
// Only TCGETS2/TCSETS2 with BOTHER are used, never glibc's cfset*speed, so any integer rate works
// and the result does not depend on the C library's speed_t. <asm/termbits.h> clashes with
// <termios.h>, so the kernel structure stays inside termios2_posix.cpp.
#pragma once

#include <cstdint>

namespace tty2 {

/// The output line speed of the terminal `fd` in bits per second. On a pseudo-terminal master this
/// is the speed the slave side was set to. Returns false (errno set) when fd is not a terminal.
bool GetSpeed(int fd, uint32_t* baud);

/// Sets input and output speed of `fd` to `baud` with BOTHER. Returns false (errno set) on refusal.
bool SetSpeed(int fd, uint32_t baud);

/// Puts `fd` in raw mode: no line editing, echo, signals or character translation, 8 data bits,
/// receiver on, modem control lines ignored (CLOCAL), reads return what is there (VMIN 0, VTIME 0).
/// The speed is kept. Returns false (errno set) on failure.
bool MakeRaw(int fd);

} // namespace tty2
