// What the command line names: COM numbers, poll modes and output formats, and the exit codes.
#pragma once

#include "BoardRows.h"

#include <string>

namespace cli {

/// Exit codes besides 0 and the connection's own results (1 "Could not open port.", 2 "Could not set
/// baud rate.", 3 "No open port.").
enum ExitCode : int {
    EXIT_OK = 0,
    EXIT_FAILED = 1, ///< map, unmap or an output that failed: the line says what
    EXIT_USAGE = 64, ///< the command line was wrong (sysexits' EX_USAGE)
};

/// The lowest and highest COM numbers the program knows.
constexpr int kFirstCom = 1;
constexpr int kLastCom = 16;

/// The COM number that `text` names: "3", "COM3" or "com3"; 0 when it names none from 1 to 16.
int ParseComNumber(const std::string& text);

// The poll modes and row formats are the program's (BoardRows.h): the trend window saves the same rows.
using ::PollMode;
using ::RowFormat;

} // namespace cli
