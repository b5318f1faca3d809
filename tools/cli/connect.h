// korvane-cli probe and dump, and the connection step every board command shares.
#pragma once

#include <cstdio>
#include <string>

namespace cli {

/// Connects to the board on COM`com` exactly as the program does (ConnectBoard). On failure writes
/// the program's message to `err`, followed by a line on what to do about it when the device
/// explains the failure (missing, dangling link, no permission). Returns the ConnectResult.
int ConnectOrExplain(int com, std::FILE* err);

/// Why COM`com` may not have opened and what to do, as one line without a newline. POSIX: its
/// device is missing, its link dangles, the user may not open it, or (when it looks usable) another
/// program holds it. Windows: what the system says when the port is opened once more (no such
/// port, in use by another program, access denied, or the system's own text).
std::string OpenFailureHint(int com);

/// korvane-cli probe: "connected on COM3 at 38400 baud" on `out`, or the failure on `err`. Returns
/// the ConnectResult; the port is closed before it returns.
int ProbeBoard(int com, std::FILE* out, std::FILE* err);

/// korvane-cli dump: connects as the program does and writes the port's six DumpState lines to
/// `out`, also when the board did not answer (its message then goes to `err`). Returns the
/// ConnectResult; nothing is dumped when the port did not open.
int DumpPort(int com, std::FILE* out, std::FILE* err);

} // namespace cli
