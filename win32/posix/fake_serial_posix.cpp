// The in-memory serial line for tests; see fake_serial_posix.h.
#include "fake_serial_posix.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace win32posix {

int FakeSerialLine::Read(void* buffer, size_t count, size_t* got) {
    *got = 0;
    lastReadAsked = count;
    if (failAll) return failAll;
    *got = std::min(count, received.size());
    std::memcpy(buffer, received.data(), *got);
    received.erase(0, *got);
    return readsPending ? EINPROGRESS : 0;
}

int FakeSerialLine::Write(const void* bytes, size_t count, size_t* put) {
    *put = 0;
    if (failAll) return failAll;
    *put = count;
    sent.append(static_cast<const char*>(bytes), count);
    if (!writesPending) return 0;
    outQueue += static_cast<uint32_t>(count);
    return EINPROGRESS;
}

int FakeSerialLine::Queues(uint32_t* inQueue, uint32_t* outQueueNow) {
    *inQueue = *outQueueNow = 0;
    if (failAll) return failAll;
    *inQueue = static_cast<uint32_t>(received.size());
    *outQueueNow = outQueue;
    return 0;
}

int FakeSerialLine::Counters(LineCounters* counts) {
    if (failAll) return failAll;
    *counts = counters;
    return 0;
}

int FakeSerialLine::GetSettings(LineSettings* current) {
    if (failAll) return failAll;
    *current = settings;
    return 0;
}

int FakeSerialLine::SetSettings(const LineSettings& wanted) {
    if (failAll || refuseSettings) return failAll ? failAll : refuseSettings;
    settings = wanted;
    return 0;
}

int FakeSerialLine::ModemLines(unsigned* bits) {
    *bits = 0;
    if (failAll || !hasModemLines) return failAll ? failAll : ENOTTY;
    *bits = modemInputs | outputLines;
    return 0;
}

int FakeSerialLine::SetModemLines(unsigned bits, bool on) {
    if (failAll || !hasModemLines) return failAll ? failAll : ENOTTY;
    outputLines = on ? (outputLines | bits) : (outputLines & ~bits);
    return 0;
}

int FakeSerialLine::SetBreak(bool on) {
    if (failAll) return failAll;
    breakOn = on;
    return 0;
}

int FakeSerialLine::Flush(bool receive, bool transmit) {
    if (failAll) return failAll;
    if (receive) received.clear();
    if (transmit) outQueue = 0;
    return 0;
}

int FakeSerialLine::FlowOutput(bool) {
    return failAll;
}

int FakeSerialLine::WaitReadable(int timeoutMs) {
    lastWaitMs = timeoutMs;
    if (failAll) return failAll;
    if (received.empty()) Sleep(static_cast<DWORD>(timeoutMs));
    return 0;
}

} // namespace win32posix
