// The parts of WinCommPort that differ on Windows: the idle step yields the rest of the time slice,
// and there is no low-latency request (an FTDI adapter's latency is a setting of its driver there).
#include "WinCommPort.h"

int WinCommPort::Idle() {
    Sleep(0);
    return 0;
}

int WinCommPort::IdleUpTo(int) {
    return Idle();
}

int WinCommPort::RequestLowLatency() {
    return COMM_NOT_SUPPORTED;
}
