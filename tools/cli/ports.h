// korvane-cli ports: the COM ports this machine offers, as this system names and finds them.
#pragma once

#include <cstdio>

namespace cli {

/// What `ports` lists, for the help.
extern const char* const kPortsAbout;

/// korvane-cli ports: writes the COM ports and where they lead to `out`, one line each. Returns the
/// exit status (0).
int ListPorts(std::FILE* out, std::FILE* err);

} // namespace cli
