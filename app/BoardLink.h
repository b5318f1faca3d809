// The program's side of the sensor board, without any window: the connection (open, link, speed,
// probe, drain), the discard of stray bytes before each command, and the two poll exchanges with
// their decoding. The main dialog shows what these report; korvane-cli uses them unchanged.
//
// The board protocol has no framing: the host sends one command byte, waits a fixed time, and
// accepts an answer only when the receive queue then holds exactly the expected number of bytes.
//
//   command   byte  wait    reply accepted when the queue holds
//   probe     'P'   150 ms  exactly 1 byte, 'Q' when the board is there
//   tilt      'z'    30 ms  exactly 3 bytes: X, Y, button bits (0x02 left B1, 0x01 right B0, set = up)
//   voltages  's'    50 ms  exactly 7 bytes: channel k at offset k, 255 = 5.0 V
//
// Everything runs on the caller's thread; every wait is a sleep or a bounded poll of the port.
//
// Whether the board is there is decided here too, so that the program and korvane-cli never
// disagree about it: PollTick runs one tick (the discard and one exchange, or an attempt to reopen
// a port that failed) and feeds what it saw to the state table below.
#pragma once

#include <cstdint>

class CommPort;
class CommLink;
class PortSettings;

// Connection objects, owned by this unit: created by ConnectBoard, torn down by the next
// ConnectBoard or by DisconnectBoard, in the reverse order of their creation.
extern CommPort* g_pPort;
extern CommLink* g_pLink;
extern PortSettings* g_pPortSettings;

// Latest readings, zero at load. Each exchange writes only its own when a whole reply came.
extern uint8_t g_byTiltX;
extern uint8_t g_byTiltY;
extern float g_fVoltage[7];

/// Results of ConnectBoard.
enum ConnectResult : int {
    CONNECT_OK = 0,          ///< the board answered the probe
    CONNECT_OPEN_FAILED = 1, ///< the port did not open (also: COM number outside 1..16)
    CONNECT_BAUD_FAILED = 2, ///< the port refused 38400 'N' 8 1
    CONNECT_NO_ANSWER = 3,   ///< no 'Q' at 38400 baud nor at 128000 baud
};

/// Constants of the line and the protocol.
struct BoardProtocol {
    static constexpr int kFirstBaud = 38400;
    static constexpr int kFallbackBaud = 128000;
    static constexpr int kRxQueueSize = 4096;
    static constexpr int kTxQueueSize = 2048;
    static constexpr int kMinComNumber = 1;
    static constexpr int kMaxComNumber = 16;
    static constexpr char kProbe = 'P';
    static constexpr char kProbeAnswer = 'Q';
    static constexpr char kTilt = 'z';
    static constexpr char kVoltages = 's';
    static constexpr int kProbeWaitMs = 150;
    static constexpr int kTiltWaitMs = 30;
    static constexpr int kVoltageWaitMs = 50;
    static constexpr int kReadTimeoutMs = 100;
    static constexpr int kDiscardTimeoutMs = 10;
    static constexpr int kTiltFrameSize = 3;
    static constexpr int kVoltageFrameSize = 7;
    static constexpr int kChannels = 7;
    /// The drain after a probe ends after this long even when the line never goes quiet.
    static constexpr int kDrainLimitMs = 500;
    /// Neither the drain nor the discard reads more than one receive queue's worth of bytes.
    static constexpr int kMaxDiscardBytes = kRxQueueSize;
};

/// The operator's message for a ConnectBoard result; null for CONNECT_OK.
const char* ConnectMessage(int result);
/// The operator's message when a voltage reply had the wrong length.
extern const char* const kVoltageErrorMessage;

/// Tears down the previous connection (settings holder, link, port: each restores what it changed),
/// then opens COM`comNumber` with a link and a settings holder at 38400 8N1 and probes the board, at
/// 128000 baud too when 38400 gets no answer. On success drains what the board sends after its
/// answer. Shows nothing: returns a ConnectResult for the caller to report.
int ConnectBoard(int comNumber);
/// The speed at which the last ConnectBoard found the board; 0 when it did not.
int ConnectedBaud();
/// Destroys the connection objects in the reverse order of their creation (settings holder, link,
/// port); the port closes the device. Safe to call when there are none.
void DisconnectBoard();

/// Reads off and drops bytes already waiting (one at a time, at most one receive queue's worth, so
/// a board that never stops sending cannot hold the caller). Returns the count dropped.
int DiscardStrayBytes();

/// A decoded tilt reply.
struct TiltFrame {
    uint8_t x;
    uint8_t y;
    bool leftUp;  ///< button B1 (bit 1)
    bool rightUp; ///< button B0 (bit 0)
};

/// Decodes a tilt reply of `count` bytes: true and `*frame` set only for exactly 3 bytes.
bool DecodeTilt(const uint8_t* reply, int count, TiltFrame* frame);
/// Decodes a voltage reply of `count` bytes into `volts`: byte / 51 V each, channel 4 mapped onto
/// -5..+5 V. True only for exactly 7 bytes; `volts` is untouched otherwise.
bool DecodeVoltages(const uint8_t* reply, int count, float volts[7]);

/// The tilt exchange: 'z', 30 ms, exactly 3 bytes. True with `*frame` set and g_byTiltX/Y stored
/// when a whole frame came; false (nothing stored) otherwise.
bool ExchangeTilt(TiltFrame* frame);
/// The voltage exchange: 's', 50 ms, exactly 7 bytes. True with g_fVoltage stored when a whole
/// frame came; false (g_fVoltage unchanged) otherwise: the caller reports kVoltageErrorMessage.
bool ExchangeVoltages();

// ---------------------------------------------------------------------------------------------
// Lost and found: the board's state as the ticks see it, and reopening a port that failed.

/// Whether the board is there, as the last ticks left it.
enum class BoardState {
    Answering,  ///< a valid reply came within the last 3 ticks (also right after connecting)
    NoReply,    ///< 3 ticks in a row without a valid reply, or a reopened port whose board is silent
    DeviceGone, ///< the port itself failed (pulled adapter, hang-up); it is released and reopened
};

/// What a tick or a reopening attempt saw; the state table turns each into the next state.
enum class BoardEvent {
    ValidReply,       ///< a whole reply came
    MissedTick,       ///< no valid reply, not yet the third in a row
    ThirdMiss,        ///< the third tick in a row without a valid reply
    PortFailed,       ///< the port failed: hang-up, removal, a link that no longer resolves
    ReopenedAnswered, ///< the port opened again and the board answered the probe
    ReopenedNoAnswer, ///< the port opened again but no board answered
    ReopenFailed,     ///< the port did not open
};

/// Ticks in a row without a valid reply that make NoReply.
constexpr int kMissesForNoReply = 3;
/// A failed port is tried again this long after the failure and after each attempt that could not
/// open it (an attempt while the device is absent costs well under 5 ms).
constexpr uint32_t kReopenPeriodMs = 1000;
/// After a port that opened but whose board did not answer, the next attempt waits this long, so
/// that the probes' stall (up to about 450 ms) comes at most once per this period.
constexpr uint32_t kReopenAfterNoAnswerMs = 5000;

/// The state after `event` in `state` (one table holds every transition).
BoardState NextBoardState(BoardState state, BoardEvent event);
/// The state as the last ticks left it; Answering before the first tick.
BoardState CurrentBoardState();
/// A short name of `state` for messages: "answering", "no reply", "device gone".
const char* BoardStateName(BoardState state);

/// Which exchange a tick runs.
enum class PollKind { Tilt, Voltages };

/// What one PollTick did. A tick that is not `exchanged` ran no exchange (the port is being
/// reopened); `lost` says whether the state after it is other than Answering.
struct TickOutcome {
    bool exchanged = false;  ///< the discard and an exchange ran
    bool validReply = false; ///< a whole reply came (tilt: `tilt` set; voltages: g_fVoltage stored)
    bool attempted = false;  ///< a reopening attempt ran on this tick (ConnectBoard)
    BoardEvent event = BoardEvent::MissedTick; ///< what the tick saw
    BoardState before = BoardState::Answering; ///< the state before the tick
    BoardState state = BoardState::Answering;  ///< the state after it
    TiltFrame tilt{};                          ///< the tilt frame when validReply in a tilt tick
    bool changed() const { return before != state; }
    bool lost() const { return state != BoardState::Answering; }
};

/// Starts the ticks over a connection ConnectBoard has just made on COM`comNumber`: the state is
/// Answering, no misses counted. With `reopen`, a failed port is released and reopened by later
/// ticks; without, a failed port is released and the state stays DeviceGone.
void StartPolling(int comNumber, bool reopen);
/// One tick at tick count `nowMs` (GetTickCount): while a port is open, the discard and the
/// exchange of `kind` (with `fast`, its fast form: ExchangeTiltFast, ExchangeVoltagesFast); after a
/// port failure, a reopening attempt when one is due (nothing otherwise), and when the board
/// answered it, the exchange at once. Feeds what it saw to the state table and returns it (`event`:
/// the last thing it saw).
TickOutcome PollTick(PollKind kind, uint32_t nowMs, bool fast = false);
/// True when the port that failed is released (and, with reopening, not yet connected again).
bool AwaitingReopen();
// Fast exchanges (korvane-cli poll --fast): the same command and the same exact count, but the
// reply is read as soon as the whole of it is queued; the command's wait (30 or 50 ms) becomes the
// time-out. The wait looks at the queue with the port's wait step (IdleUpTo) between looks, so it sleeps on
// the device rather than spinning. A reply longer than expected is taken when its expected length is queued
// before the rest arrives; the discard before the next exchange then drops the rest.

/// ExchangeTilt, reading the reply as soon as 3 bytes are queued.
bool ExchangeTiltFast(TiltFrame* frame);
/// ExchangeVoltages, reading the reply as soon as 7 bytes are queued.
bool ExchangeVoltagesFast();
/// Asks the port's driver to pass received bytes on at once (see WinCommPort::RequestLowLatency):
/// true when it did; false when the driver has no such request, which is no failure.
bool RequestLowLatency();
