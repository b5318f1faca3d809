// What a serial handle of the Windows API stand-in holds, shared by the files that implement the
// comm functions (private to win32/posix).
#pragma once

#include "serial_line_posix.h"

#include <memory>
#include <vector>

namespace win32posix {

/// One open serial handle: its line, the DCB fields Linux has no place for, and the records
/// Windows keeps per handle.
struct SerialFile {
    std::unique_ptr<SerialLine> owned; ///< the line when the handle opened it; null when installed
    SerialLine* line = nullptr;
    DCB kept{}; ///< last DCB applied (or the defaults merged with the line)
    COMMTIMEOUTS timeouts{};
    DWORD eventMask = 0;
    LineCounters lastCounters{};             ///< counts at the previous ClearCommError
    bool hasCounters = true;                 ///< false once the line said it keeps none
    std::vector<LPOVERLAPPED> pendingWrites; ///< complete once the transmit queue has run dry
};

/// The file behind `handle`, or null with ERROR_INVALID_HANDLE set.
SerialFile* LookupSerialFile(HANDLE handle);
/// Sets the last error to `error`; returns FALSE.
BOOL FailWith(DWORD error);
/// Sets the last error for the errno value `error`; returns FALSE.
BOOL FailWithErrno(int error);
/// The DCB a handle starts from before the line's own settings are merged in.
DCB DefaultDcb();

} // namespace win32posix
