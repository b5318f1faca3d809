#include "BoardLink.h"

#include "CommLink.h"
#include "PortSettings.h"
#include "WinCommPort.h"

#include <windows.h>

#include <iterator>
#include <new>

CommPort* g_pPort = nullptr;
CommLink* g_pLink = nullptr;
PortSettings* g_pPortSettings = nullptr;

uint8_t g_byTiltX = 0;
uint8_t g_byTiltY = 0;
float g_fVoltage[7] = {};

const char* const kVoltageErrorMessage = "Error reading voltages.";

namespace {

using P = BoardProtocol;

// Replies are read into a buffer of this size (a reply plus the link's terminator fits many times).
constexpr int kReplyBufferSize = 32;

int s_connectedBaud = 0;

// One command: send the byte, sleep the command's wait, then read exactly `size` bytes when exactly
// that many are queued. Returns the count read, or -1 when the queue held another count (nothing is
// read then). reply[0] is cleared first.
int Exchange(char command, int waitMs, int size, uint8_t* reply) {
    reply[0] = 0;
    if (!g_pLink) return -1;
    g_pLink->Send(&command, 1);
    Sleep(static_cast<DWORD>(waitMs));
    if (g_pLink->RxCount() != size) return -1;
    return g_pLink->Receive(reply, size, P::kReadTimeoutMs);
}

// Exchange, but the reply is read as soon as at least `size` bytes are queued; `timeoutMs` bounds the
// wait. Only exactly `size` bytes are read, as in Exchange.
int ExchangeAsSoonAsQueued(char command, int timeoutMs, int size, uint8_t* reply) {
    reply[0] = 0;
    if (!g_pLink || !g_pPort) return -1;
    g_pLink->Send(&command, 1);
    TickDeadline deadline = TickDeadline::After(GetTickCount(), timeoutMs);
    int queued = g_pLink->RxCount();
    for (uint32_t now = GetTickCount(); queued < size && !deadline.ReachedAt(now); now = GetTickCount()) {
        if (g_pPort->IdleUpTo(deadline.LeftAt(now)) < 0) break;
        queued = g_pLink->RxCount();
    }
    if (queued != size) return -1;
    return g_pLink->Receive(reply, size, P::kReadTimeoutMs);
}

// The decoding and storing of each exchange, whichever way its reply was read.
bool StoreTilt(const uint8_t* reply, int got, TiltFrame* frame) {
    TiltFrame decoded{};
    if (!DecodeTilt(reply, got, &decoded)) return false;
    g_byTiltX = decoded.x;
    g_byTiltY = decoded.y;
    if (frame) *frame = decoded;
    return true;
}

bool Probe() {
    uint8_t reply[kReplyBufferSize];
    return Exchange(P::kProbe, P::kProbeWaitMs, 1, reply) == 1 && reply[0] == P::kProbeAnswer;
}

// After the answer, the board may still be sending: read single bytes until 100 ms pass without
// one. A line that never goes quiet ends the drain after a receive queue's worth or half a second.
void DrainAfterProbe() {
    uint8_t reply[kReplyBufferSize];
    TickDeadline limit = TickDeadline::After(GetTickCount(), P::kDrainLimitMs);
    for (int n = 0; n < P::kMaxDiscardBytes; ++n) {
        if (g_pLink->Receive(reply, 1, P::kReadTimeoutMs) <= 0) return;
        if (limit.ReachedAt(GetTickCount())) return;
    }
}

// Steps after the port opened: speed, probe at 38400 and then at 128000, drain.
int SetSpeedAndProbe() {
    g_pPortSettings = new (std::nothrow) PortSettings(g_pLink);
    if (!g_pPortSettings) return CONNECT_BAUD_FAILED;
    if (g_pPortSettings->Set(P::kFirstBaud, 'N', 8, 1) != 0) return CONNECT_BAUD_FAILED;
    int baud = P::kFirstBaud;
    if (!Probe()) {
        // A refused 128000 leaves the line at 38400: the second probe runs there.
        if (g_pPortSettings->Set(P::kFallbackBaud, 'N', 8, 1) == 0) baud = P::kFallbackBaud;
        if (!Probe()) return CONNECT_NO_ANSWER;
    }
    DrainAfterProbe();
    s_connectedBaud = baud;
    return CONNECT_OK;
}

} // namespace

const char* ConnectMessage(int result) {
    static const char* const kMessages[] = {
        nullptr,                    // CONNECT_OK
        "Could not open port.",     // CONNECT_OPEN_FAILED
        "Could not set baud rate.", // CONNECT_BAUD_FAILED
        "No open port.",            // CONNECT_NO_ANSWER
    };
    return result >= 0 && result < static_cast<int>(std::size(kMessages)) ? kMessages[result] : nullptr;
}

void DisconnectBoard() {
    // Holders reach the port when they are destroyed, so they go first; the port goes last.
    delete g_pPortSettings;
    g_pPortSettings = nullptr;
    delete g_pLink;
    g_pLink = nullptr;
    delete g_pPort;
    g_pPort = nullptr;
    s_connectedBaud = 0;
}

int ConnectBoard(int comNumber) {
    DisconnectBoard(); // the old port goes first, so the same COM number opens again
    if (comNumber < P::kMinComNumber || comNumber > P::kMaxComNumber) return CONNECT_OPEN_FAILED;
    g_pPort = new (std::nothrow) WinCommPort(comNumber - 1, P::kRxQueueSize, P::kTxQueueSize, 0);
    if (!g_pPort) return CONNECT_OPEN_FAILED;
    g_pLink = new (std::nothrow) CommLink(g_pPort);
    if (!g_pLink) return CONNECT_OPEN_FAILED;
    uint16_t lineStatus = 0;
    if (g_pLink->CheckOpen(&lineStatus) != 0) return CONNECT_OPEN_FAILED;
    return SetSpeedAndProbe();
}

int ConnectedBaud() {
    return s_connectedBaud;
}

int DiscardStrayBytes() {
    if (!g_pLink) return 0;
    uint8_t reply[kReplyBufferSize];
    int dropped = 0;
    // A read that fails while the count says bytes are there (a device going away) ends the loop
    // instead of waiting out its time-out again and again.
    while (dropped < P::kMaxDiscardBytes && g_pLink->RxCount() > 0) {
        if (g_pLink->Receive(reply, 1, P::kDiscardTimeoutMs) <= 0) break;
        ++dropped;
    }
    return dropped;
}

bool DecodeTilt(const uint8_t* reply, int count, TiltFrame* frame) {
    if (!reply || count != P::kTiltFrameSize) return false;
    *frame = TiltFrame{reply[0], reply[1], (reply[2] & 0x02) != 0, (reply[2] & 0x01) != 0};
    return true;
}

bool DecodeVoltages(const uint8_t* reply, int count, float volts[7]) {
    if (!reply || count != P::kVoltageFrameSize) return false;
    for (int k = 0; k < P::kChannels; ++k) volts[k] = static_cast<float>(reply[k] * (1.0 / 51));
    // Channel 4 reads 0..5 V on the wire and stands for -5..+5 V; from the byte, not from the
    // rounded float, so the result is the nearest float too.
    volts[4] = static_cast<float>((reply[4] * (1.0 / 51) - 2.5) * 2);
    return true;
}

bool ExchangeTilt(TiltFrame* frame) {
    uint8_t reply[kReplyBufferSize];
    return StoreTilt(reply, Exchange(P::kTilt, P::kTiltWaitMs, P::kTiltFrameSize, reply), frame);
}

bool ExchangeVoltages() {
    uint8_t reply[kReplyBufferSize];
    return DecodeVoltages(reply, Exchange(P::kVoltages, P::kVoltageWaitMs, P::kVoltageFrameSize, reply),
                          g_fVoltage);
}

bool ExchangeTiltFast(TiltFrame* frame) {
    uint8_t reply[kReplyBufferSize];
    return StoreTilt(reply, ExchangeAsSoonAsQueued(P::kTilt, P::kTiltWaitMs, P::kTiltFrameSize, reply),
                     frame);
}

bool ExchangeVoltagesFast() {
    uint8_t reply[kReplyBufferSize];
    int got = ExchangeAsSoonAsQueued(P::kVoltages, P::kVoltageWaitMs, P::kVoltageFrameSize, reply);
    return DecodeVoltages(reply, got, g_fVoltage);
}

bool RequestLowLatency() {
    auto* port = dynamic_cast<WinCommPort*>(g_pPort);
    return port && port->RequestLowLatency() == 0;
}
