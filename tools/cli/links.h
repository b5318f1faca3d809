// korvane-cli map and unmap. On POSIX they edit the COM links of the device directory
// ($XDG_CONFIG_HOME/korvane/devices/COMn), which the program opens instead of /dev/ttyS<n-1>. On
// Windows COM names are the system's own: both refuse with a line saying so.
#pragma once

#include <cstdio>
#include <string>

namespace cli {

/// What map, its PATH and unmap are, for the help.
struct LinkHelp {
    const char* map;
    const char* path;
    const char* unmap;
};
extern const LinkHelp kLinkHelp;

/// Makes COM`com` lead to `target` (made absolute against the working directory, its own links
/// kept, so a /dev/serial/by-id name stays one). The link is replaced atomically: a program opening
/// COM`com` meanwhile sees the old link or the new one, never none. Writes "COM3 -> PATH" to `out`, a
/// warning to `err` when `target` does not exist (yet). Returns 0 or EXIT_FAILED with the reason on
/// `err`. Windows: EXIT_USAGE, with the line that COM names are the system's own.
int MapCom(int com, const std::string& target, std::FILE* out, std::FILE* err);

/// Removes the link of COM`com`; anything there that is not a link is left alone. Returns 0 or
/// EXIT_FAILED with the reason on `err`. Windows: as MapCom.
int UnmapCom(int com, std::FILE* out, std::FILE* err);

} // namespace cli
