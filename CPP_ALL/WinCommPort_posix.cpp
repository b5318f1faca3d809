// The parts of WinCommPort that differ on POSIX: the stand-in waits on the device itself, so a wait
// of the link sleeps until bytes come instead of spinning through yields, and it offers the Linux
// driver's low-latency flag.
#include "WinCommPort.h"

#include "win32_posix.h"

namespace {
// The longest idle step: the link's waits may overrun their time-out by this much.
constexpr DWORD kIdleStepMs = 1;
} // namespace

int WinCommPort::Idle() {
    // Without a device (a port that failed to open) the wait sleeps its millisecond as well.
    win32posix::WaitCommReady(m_handle, kIdleStepMs);
    return 0;
}

int WinCommPort::RequestLowLatency() {
    return win32posix::SetCommLowLatency(m_handle) ? 0 : COMM_NOT_SUPPORTED;
}
