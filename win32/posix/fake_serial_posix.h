// A serial line in memory, for tests: install it for a COM number (InstallSerialLine) and the
// Windows comm functions drive it as they drive a terminal. It shows what a pseudo-terminal
// cannot: modem inputs, line error counts, break and output lines as last set, a transmit queue
// that fills, a configuration the "driver" refuses, and reads and writes left pending as
// overlapped I/O can leave them. Everything is plain public state.
#pragma once

#include "serial_line_posix.h"

#include <atomic>
#include <string>

namespace win32posix {

class FakeSerialLine : public SerialLine {
public:
    std::string received;  ///< bytes waiting to be read (the far end feeds them here)
    std::string sent;      ///< every byte the line took for sending, in order
    uint32_t outQueue = 0; ///< bytes reported as waiting to be sent (taken bytes leave at once)
    std::atomic<unsigned> modemInputs{0}; ///< kLineCts | kLineDsr | kLineRing | kLineDcd now; may change
                                          ///< from another thread while WaitCommEvent waits
    bool hasModemLines = true;            ///< false: modem calls fail with ENOTTY, as on a pty
    unsigned outputLines = 0;             ///< kLineDtr | kLineRts as last set
    bool breakOn = false;                 ///< break as last set
    LineCounters counters;                ///< error counts; tests raise them to report line errors
    LineSettings settings;                ///< as last applied
    int refuseSettings = 0;               ///< non-zero: SetSettings fails with this errno value
    int failAll = 0;                      ///< non-zero: every operation fails with this (a vanished device)
    bool readsPending = false;            ///< reads copy the bytes but are left pending (EINPROGRESS)
    bool writesPending = false;           ///< writes are taken into outQueue and left pending
    size_t lastReadAsked = 0;             ///< the count the last read asked for
    int lastWaitMs = -1;                  ///< the time-out the last wait was given

    int Read(void* buffer, size_t count, size_t* got) override;
    int Write(const void* bytes, size_t count, size_t* put) override;
    int Queues(uint32_t* inQueue, uint32_t* outQueue) override;
    int Counters(LineCounters* counts) override;
    int GetSettings(LineSettings* current) override;
    int SetSettings(const LineSettings& wanted) override;
    int ModemLines(unsigned* bits) override;
    int SetModemLines(unsigned bits, bool on) override;
    int SetBreak(bool on) override;
    int Flush(bool receive, bool transmit) override;
    int FlowOutput(bool stop) override;
    int WaitReadable(int timeoutMs) override;
};

} // namespace win32posix
