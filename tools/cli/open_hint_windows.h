// The open-failure hint on Windows, apart from the port, so that every Windows error is testable.
#pragma once

#include <string>

namespace cli {

/// The hint for COM`com` when opening it failed with the Windows error `error`, one line without a
/// newline: no such port, in use by another program, access denied, or else the system's own text
/// with the number. `error` 0 (the port opened when tried again) says it may have been busy.
std::string OpenErrorHint(int com, unsigned long error);

} // namespace cli
