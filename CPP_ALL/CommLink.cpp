// CommLink: every wait of the library is a polling loop here, with a port's wait step (IdleUpTo,
// bounded by what is left of the time-out) between attempts.
#include "CommLink.h"

#include "LibraryServices.h"
#include "PortSettings.h"

#include <new>

namespace {

// The state the link keeps the port in while it lives.
constexpr int kLinkBaud = 9600;
constexpr char kLinkParity = 'N';
constexpr int kLinkDataBits = 8;
constexpr int kLinkStopBits = 1;

// One port Read, never counted past what was asked for, so a misbehaving port cannot push the
// terminator beyond the caller's buffer.
uint32_t ReadInto(CommPort* port, uint8_t* bytes, uint32_t count) {
    uint32_t got = port->Read(bytes, count);
    return got < count ? got : count;
}

} // namespace

TickDeadline TickDeadline::After(uint32_t now, int timeoutMs) {
    return TickDeadline{now, timeoutMs > 0 ? static_cast<uint32_t>(timeoutMs) : 0u};
}

CommLink::CommLink(CommPort* port) : m_pacingMs(0), m_port(port), m_flow(nullptr), m_settings(nullptr) {
    if (!m_port || m_port->PeekError() != 0) return;
    // nothrow: a failed allocation leaves the link bare rather than throwing out of the library.
    m_settings = new (std::nothrow) PortSettings(this);
    if (m_settings) m_settings->Set(kLinkBaud, kLinkParity, kLinkDataBits, kLinkStopBits);
    m_flow = new (std::nothrow) FlowControlState(this);
    m_port->SetFlowControl(FLOW_NONE, FLOW_NONE);
}

CommLink::~CommLink() {
    delete m_flow;
    delete m_settings;
}

int CommLink::GetByte(int timeoutMs) {
    if (!m_port) return COMM_FAILED;
    const TickDeadline deadline = TickDeadline::After(Services().TickCount(), timeoutMs);
    int result = m_port->ReadByte();
    while (result < 0) {
        const uint32_t now = Services().TickCount();
        if (deadline.ReachedAt(now)) return COMM_NO_DATA;
        int idle = m_port->IdleUpTo(deadline.LeftAt(now));
        if (idle < 0) return idle;
        result = m_port->ReadByte();
    }
    return result;
}

int CommLink::PutByte(int byte) {
    if (!m_port) return COMM_FAILED;
    int result = m_port->WriteByte(static_cast<uint8_t>(byte & 0xFF));
    if (m_pacingMs == 0) return result;
    const TickDeadline end = TickDeadline::After(Services().TickCount(), m_pacingMs);
    for (uint32_t now = Services().TickCount(); !end.ReachedAt(now); now = Services().TickCount()) {
        result = m_port->IdleUpTo(end.LeftAt(now));
        if (result < 0) break;
    }
    return result;
}

int CommLink::Reserved() {
    return COMM_NOT_SUPPORTED;
}

int CommLink::Send(const void* bytes, int count) {
    if (!bytes || !m_port || count <= 0) return 0;
    return static_cast<int>(m_port->Write(bytes, static_cast<uint32_t>(count)));
}

int CommLink::Receive(void* buffer, int count, int timeoutMs) {
    if (!buffer) return 0;
    if (!m_port) return COMM_FAILED;
    auto* bytes = static_cast<uint8_t*>(buffer);
    const uint32_t wanted = count > 0 ? static_cast<uint32_t>(count) : 0u;
    const TickDeadline deadline = TickDeadline::After(Services().TickCount(), timeoutMs);
    uint32_t total = ReadInto(m_port, bytes, wanted);
    while (total < wanted) {
        const uint32_t now = Services().TickCount();
        if (deadline.ReachedAt(now)) break;
        int idle = m_port->IdleUpTo(deadline.LeftAt(now));
        if (idle < 0) return idle;
        total += ReadInto(m_port, bytes + total, wanted - total);
    }
    bytes[total] = 0;
    return static_cast<int>(total);
}

int CommLink::RxCount() {
    if (!m_port) return 0;
    PortStatus status{};
    m_port->GetStatus(&status, 1);
    return status.rxCount;
}

int CommLink::CheckOpen(uint16_t* status) {
    *status = 0;
    if (!m_port) return COMM_FAILED;
    int error = m_port->TakeError();
    if (error != 0) return error;
    if (!m_flow) return COMM_FAILED;
    m_flow->Refresh();
    uint16_t word = 0;
    if (m_flow->ParityError()) word |= LINK_PARITY_ERROR;
    if (m_flow->FramingError()) word |= LINK_FRAMING_ERROR;
    if (m_flow->RxOverflow()) word |= LINK_RX_OVERFLOW;
    if (m_flow->Overrun()) word |= LINK_OVERRUN;
    if (m_flow->BreakDetect()) word |= LINK_BREAK;
    *status = word;
    return COMM_OK;
}
