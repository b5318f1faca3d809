// Holders that change a port's state for as long as they live and put the old state back when
// they are destroyed. Both reach their port through a CommLink. Holders over one port nest: each
// saves what the previous one left, so destroy them in the reverse order of their creation, and
// all of them before the port.
#pragma once

#include "COMLINK.h"

class CommLink;

/// The character format of a port: baud rate, parity letter, data bits, stop bits. Keeps a current
/// copy (applied) and a saved copy (read from the port at attach, applied again at destruction).
/// Every failure is reported as COMM_FAILED; the port keeps its own record of the exact code.
class PortSettings {
public:
    /// Both copies start as 1200 'N' 8 1. With a link, attaches at once (the port goes to the
    /// current copy); null leaves the holder unattached.
    explicit PortSettings(CommLink* link = nullptr);
    /// When attached, applies the saved copy again (result ignored); unattached, touches nothing.
    ~PortSettings();
    PortSettings(const PortSettings&) = delete;
    PortSettings& operator=(const PortSettings&) = delete;

    /// Takes the link's port, saves its settings and applies the current copy: Apply's status.
    /// A link without a port leaves the holder unattached (COMM_FAILED).
    int Attach(CommLink* link);
    /// Reads the port's settings into the saved copy: 0, or COMM_FAILED when not attached.
    int Save();
    /// Hands the current copy to the port: 0, or COMM_FAILED (not attached, or refused by the port).
    int Apply();
    /// Stores the four values as the current copy (even when refused), then returns Apply's status.
    int Set(int baud, char parity, int dataBits, int stopBits);

private:
    int m_baud;
    char m_parity;
    int m_dataBits;
    int m_stopBits;
    int m_savedBaud;
    char m_savedParity;
    int m_savedDataBits;
    int m_savedStopBits;
    CommPort* m_port; ///< null while not attached; not owned
};

/// The flow-control pair of a port, plus the line-state snapshot last taken through it. Reads the
/// port's pair at construction and applies it again at destruction. Passes port statuses through.
class FlowControlState {
public:
    /// Takes the link's port, takes a first snapshot (clearing the port's gathered line errors) and
    /// saves the port's flow-control pair. A link without a port gives a holder that touches nothing.
    explicit FlowControlState(CommLink* link);
    /// Applies the saved pair again; the result is ignored.
    ~FlowControlState();
    FlowControlState(const FlowControlState&) = delete;
    FlowControlState& operator=(const FlowControlState&) = delete;

    /// Stores the pair as the current copy (even when refused) and returns the port's status of
    /// SetFlowControl unchanged (COMM_FAILED without a port).
    int Set(int inputFlow, int outputFlow);
    /// Takes a new snapshot through the port's TakeLineState: its status (COMM_FAILED without a port).
    int Refresh();

    /// Fields of the last snapshot, 0..3 (the port stores 0 or 1). They never call the port.
    int ParityError() const { return m_lineState.parityError; }
    int FramingError() const { return m_lineState.framingError; }
    int RxOverflow() const { return m_lineState.rxOverflow; }
    int Overrun() const { return m_lineState.overrun; }
    int BreakDetect() const { return m_lineState.breakDetect; }

private:
    int m_savedInputFlow = FLOW_NONE;
    int m_savedOutputFlow = FLOW_NONE;
    int m_inputFlow = FLOW_NONE;
    int m_outputFlow = FLOW_NONE;
    LineStateSnapshot m_lineState{};
    CommPort* m_port; ///< not owned; null only when the link had no port
};
