// The parts of WinCommPort that differ on POSIX: the stand-in waits on the device itself, so a wait
// of the link sleeps until bytes come instead of spinning through yields, and it offers the Linux
// driver's low-latency flag.
#include "WinCommPort.h"

#include "win32_posix.h"

#include <algorithm>

namespace {
// The longest idle step: a caller's wait may overrun its time-out by this much.
constexpr int kIdleStepMs = 1;
// The longest single sleep of IdleUpTo. A sleep shorter than the kernel's tick is costly on a
// virtual machine (the timer is programmed for it and cancelled when bytes come first, about 15 us
// more per wake-up than a longer sleep), so the link's waits sleep for what is left of their time-out;
// this bound only limits what a wake-up the device never signalled could cost.
constexpr int kLongestWaitMs = 10;
} // namespace

int WinCommPort::Idle() {
    return WinCommPort::IdleUpTo(kIdleStepMs);
}

int WinCommPort::IdleUpTo(int limitMs) {
    // Without a device (a port that failed to open) the wait sleeps its time as well.
    win32posix::WaitCommReady(m_handle, static_cast<DWORD>(std::clamp(limitMs, kIdleStepMs, kLongestWaitMs)));
    return 0;
}

int WinCommPort::RequestLowLatency() {
    return win32posix::SetCommLowLatency(m_handle) ? 0 : COMM_NOT_SUPPORTED;
}
