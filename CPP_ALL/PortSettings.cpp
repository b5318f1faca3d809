// PortSettings and FlowControlState: save at attach, apply while alive, restore at destruction.
#include "PortSettings.h"

#include "CommLink.h"

namespace {

// A holder's own character format until it is told otherwise.
constexpr int kDefaultBaud = 1200;
constexpr char kDefaultParity = 'N';
constexpr int kDefaultDataBits = 8;
constexpr int kDefaultStopBits = 1;

} // namespace

PortSettings::PortSettings(CommLink* link)
    : m_baud(kDefaultBaud), m_parity(kDefaultParity), m_dataBits(kDefaultDataBits),
      m_stopBits(kDefaultStopBits), m_savedBaud(kDefaultBaud), m_savedParity(kDefaultParity),
      m_savedDataBits(kDefaultDataBits), m_savedStopBits(kDefaultStopBits), m_port(nullptr) {
    if (link) Attach(link);
}

PortSettings::~PortSettings() {
    if (!m_port) return;
    m_baud = m_savedBaud;
    m_parity = m_savedParity;
    m_dataBits = m_savedDataBits;
    m_stopBits = m_savedStopBits;
    Apply();
}

int PortSettings::Attach(CommLink* link) {
    m_port = link ? link->GetPort() : nullptr;
    Save();
    return Apply();
}

int PortSettings::Save() {
    if (!m_port) return COMM_FAILED;
    m_port->GetSettings(&m_savedBaud, &m_savedParity, &m_savedDataBits, &m_savedStopBits);
    return COMM_OK;
}

int PortSettings::Apply() {
    if (!m_port) return COMM_FAILED;
    return m_port->SetSettings(m_baud, m_parity, m_dataBits, m_stopBits) < 0 ? COMM_FAILED : COMM_OK;
}

int PortSettings::Set(int baud, char parity, int dataBits, int stopBits) {
    m_baud = baud;
    m_parity = parity;
    m_dataBits = dataBits;
    m_stopBits = stopBits;
    return Apply();
}

FlowControlState::FlowControlState(CommLink* link) : m_port(link ? link->GetPort() : nullptr) {
    if (!m_port) return;
    Refresh();
    m_port->GetFlowControl(&m_savedInputFlow, &m_savedOutputFlow);
    m_inputFlow = m_savedInputFlow;
    m_outputFlow = m_savedOutputFlow;
}

FlowControlState::~FlowControlState() {
    if (m_port) Set(m_savedInputFlow, m_savedOutputFlow);
}

int FlowControlState::Set(int inputFlow, int outputFlow) {
    m_inputFlow = inputFlow;
    m_outputFlow = outputFlow;
    return m_port ? m_port->SetFlowControl(inputFlow, outputFlow) : COMM_FAILED;
}

int FlowControlState::Refresh() {
    return m_port ? m_port->TakeLineState(&m_lineState) : COMM_FAILED;
}
