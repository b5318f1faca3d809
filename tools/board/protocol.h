// The board's side of the wire protocol: one command byte in, a reply frame out. Faults that
// change what is answered (silence, extra and missing bytes) are applied here; faults about when
// and how bytes travel belong to the event loop.
#pragma once

#include "options.h"
#include "readings.h"

#include <cstdint>
#include <string>
#include <vector>

namespace board {

/// Command bytes and the probe's answer.
constexpr uint8_t kProbe = 'P';
constexpr uint8_t kProbeAnswer = 'Q';
constexpr uint8_t kTilt = 'z';
constexpr uint8_t kVoltages = 's';
/// The byte a faulty board adds to an answer (--probe-extra, --long): a carriage return.
constexpr uint8_t kExtraByte = 0x0D;

/// What the board makes of one received byte.
struct Answer {
    bool command = false;       ///< 'P', 'z' or 's'
    bool heard = false;         ///< came at the board's speed (garbage otherwise)
    std::vector<uint8_t> reply; ///< bytes to send back; empty when ignored or silent
};

/// Turns received bytes into answers.
class Protocol {
public:
    Protocol(const BoardOptions& options, const Readings& readings);
    /// The answer to `byte`, received while the line ran at `lineBaud` (0: unknown), `ms`
    /// milliseconds after start.
    Answer Handle(uint8_t byte, uint32_t lineBaud, int64_t ms) const;

private:
    std::vector<uint8_t> Frame(uint8_t command, int64_t ms) const;

    const BoardOptions& m_options;
    const Readings& m_readings;
};

/// The --log line for one received byte, without the newline: the wall-clock time, the byte, the
/// speed it came at and what was answered, e.g. "14:03:27.115 rx 0x7A 'z' at 38400 baud -> 80 40 03".
std::string LogLine(uint8_t byte, uint32_t lineBaud, uint32_t boardBaud, bool silent, const Answer& answer);

} // namespace board
