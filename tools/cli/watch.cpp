// The shared poll tick with its lines on standard error. See watch.h.
#include "watch.h"

namespace cli {

BoardWatch::BoardWatch(int com, bool reopen, std::FILE* err) : m_com(com), m_reopen(reopen), m_err(err) {
    StartPolling(com, reopen);
}

TickOutcome BoardWatch::Tick(PollMode mode, uint32_t nowMs, bool fast) {
    const TickOutcome tick =
        PollTick(mode == PollMode::Tilt ? PollKind::Tilt : PollKind::Voltages, nowMs, fast);
    if (tick.validReply) m_voltageRunReported = false;
    if (tick.changed() && tick.state == BoardState::Answering)
        std::fprintf(m_err, "COM%d: back at %d baud\n", m_com, ConnectedBaud());
    else if (tick.changed())
        std::fprintf(m_err, "COM%d: %s\n", m_com, BoardStateName(tick.state));
    // As the program: the first failed voltage tick of a run says so, a lost board does not.
    const bool failedVoltages = mode == PollMode::Dvm && tick.exchanged && !tick.validReply && !tick.lost() &&
                                tick.event != BoardEvent::PortFailed;
    if (failedVoltages && !m_voltageRunReported) {
        m_voltageRunReported = true;
        std::fprintf(m_err, "%s\n", kVoltageErrorMessage);
    }
    std::fflush(m_err);
    return tick;
}

bool BoardWatch::Ended() const {
    return !m_reopen && CurrentBoardState() == BoardState::DeviceGone;
}

} // namespace cli
