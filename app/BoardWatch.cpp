// The board's state over the ticks, and reopening a port that failed. See BoardLink.h.
#include "BoardLink.h"

#include "COMLINK.h"

namespace {

struct Transition {
    BoardState from;
    BoardEvent event;
    BoardState to;
};

// Every transition in one place. A pair that is not here keeps the state (a missed tick before the
// third, a valid reply while answering, a failed reopening while the device is gone).
constexpr Transition kTransitions[] = {
    {BoardState::Answering, BoardEvent::ThirdMiss, BoardState::NoReply},
    {BoardState::Answering, BoardEvent::PortFailed, BoardState::DeviceGone},
    {BoardState::NoReply, BoardEvent::ValidReply, BoardState::Answering},
    {BoardState::NoReply, BoardEvent::PortFailed, BoardState::DeviceGone},
    {BoardState::NoReply, BoardEvent::ReopenedAnswered, BoardState::Answering},
    {BoardState::NoReply, BoardEvent::ReopenFailed, BoardState::DeviceGone},
    {BoardState::DeviceGone, BoardEvent::ReopenedAnswered, BoardState::Answering},
    {BoardState::DeviceGone, BoardEvent::ReopenedNoAnswer, BoardState::NoReply},
};

BoardState s_state = BoardState::Answering;
int s_comNumber = 0;
bool s_reopen = false;
bool s_awaitingReopen = false; // the failed port is released; ticks only try to reopen it
uint32_t s_nextAttemptAt = 0;
int s_misses = 0;

// The port reports a failure of the device itself (hang-up, removal), as opposed to a reply that
// did not come.
bool PortFailedNow() {
    return g_pPort && g_pPort->PeekError() == COMM_DEVICE_ERROR;
}

// The port failed: release it in the teardown order and, when reopening, schedule the first attempt.
void ReleaseFailedPort(uint32_t nowMs) {
    DisconnectBoard();
    s_awaitingReopen = true;
    s_nextAttemptAt = nowMs + kReopenPeriodMs;
}

// One attempt to reopen the port, when due. Fills `outcome` when it ran.
void TryReopen(uint32_t nowMs, TickOutcome* outcome) {
    // Wrapping difference: due once the scheduled moment is not in the future.
    if (!s_reopen || static_cast<int32_t>(nowMs - s_nextAttemptAt) < 0) return;
    outcome->attempted = true;
    const int result = ConnectBoard(s_comNumber);
    if (result == CONNECT_OK) {
        outcome->event = BoardEvent::ReopenedAnswered;
        s_awaitingReopen = false;
        s_misses = 0;
        return;
    }
    DisconnectBoard(); // nothing stays held between attempts
    const bool opened = result != CONNECT_OPEN_FAILED;
    outcome->event = opened ? BoardEvent::ReopenedNoAnswer : BoardEvent::ReopenFailed;
    s_nextAttemptAt = nowMs + (opened ? kReopenAfterNoAnswerMs : kReopenPeriodMs);
}

// The discard and one exchange on the open port; the event they amount to.
BoardEvent Exchange(PollKind kind, bool fast, TickOutcome* outcome) {
    outcome->exchanged = true;
    DiscardStrayBytes();
    if (kind == PollKind::Tilt)
        outcome->validReply = fast ? ExchangeTiltFast(&outcome->tilt) : ExchangeTilt(&outcome->tilt);
    else
        outcome->validReply = fast ? ExchangeVoltagesFast() : ExchangeVoltages();
    // A name that no longer leads to the device fails the port while the old device may still
    // answer: the COM number no longer names this board, so that reply does not count.
    if (PortFailedNow()) {
        outcome->validReply = false;
        return BoardEvent::PortFailed;
    }
    if (outcome->validReply) {
        s_misses = 0;
        return BoardEvent::ValidReply;
    }
    return ++s_misses == kMissesForNoReply ? BoardEvent::ThirdMiss : BoardEvent::MissedTick;
}

} // namespace

BoardState NextBoardState(BoardState state, BoardEvent event) {
    for (const Transition& row : kTransitions)
        if (row.from == state && row.event == event) return row.to;
    return state;
}

BoardState CurrentBoardState() {
    return s_state;
}

const char* BoardStateName(BoardState state) {
    switch (state) {
    case BoardState::Answering:
        return "answering";
    case BoardState::NoReply:
        return "no reply";
    case BoardState::DeviceGone:
        return "device gone";
    }
    return "";
}

void StartPolling(int comNumber, bool reopen) {
    s_state = BoardState::Answering;
    s_comNumber = comNumber;
    s_reopen = reopen;
    s_awaitingReopen = false;
    s_misses = 0;
}

bool AwaitingReopen() {
    return s_awaitingReopen;
}

TickOutcome PollTick(PollKind kind, uint32_t nowMs, bool fast) {
    TickOutcome outcome;
    outcome.before = s_state;
    if (s_awaitingReopen) {
        TryReopen(nowMs, &outcome);
        if (outcome.attempted) s_state = NextBoardState(s_state, outcome.event);
        // Found again: this tick's exchange runs at once, so that what is shown next is a reading
        // of the returned board and not the one from before it went.
        if (!outcome.attempted || outcome.event != BoardEvent::ReopenedAnswered) {
            outcome.state = s_state;
            return outcome;
        }
    }
    if (g_pLink) {
        outcome.event = Exchange(kind, fast, &outcome);
        if (outcome.event == BoardEvent::PortFailed) ReleaseFailedPort(nowMs);
    } else {
        outcome.event = BoardEvent::PortFailed; // never connected, or released without reopening
    }
    s_state = NextBoardState(s_state, outcome.event);
    outcome.state = s_state;
    return outcome;
}
