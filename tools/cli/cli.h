// korvane-cli: the board and its COM names from a shell, over the program's own connection unit.
//
//   korvane-cli probe COM            connect as the program does and say at which speed
//   korvane-cli poll COM [options]   one exchange per 100 ms tick, rows as text, csv or json
//   korvane-cli publish COM --broker HOST[:PORT] [options]
//                                    every reading to an MQTT broker (publish.h)
//   korvane-cli dump COM             the port's six diagnostic lines
//   korvane-cli ports                where COM1..COM16 lead and which serial devices are present
//   korvane-cli map COM PATH         make COM lead to PATH;  korvane-cli unmap COM  undoes it
//
// COM is written 3 or COM3, in any case. The parsing is CLI11's.
#pragma once

#include <cstdio>

namespace cli {

/// Runs korvane-cli with its arguments (argv[0] is the program). Output goes to `out`, messages to
/// `err`. Returns the exit status: 0; 1, 2, 3 the connection's result (or 1 when map, unmap or the
/// output failed, or the broker refused publish); 64 for a usage error, told in one line.
int RunCli(int argc, const char* const* argv, std::FILE* out, std::FILE* err);

} // namespace cli
