// What the emulated board measures: fixed readings from the options, or readings that move like
// a real board's, as a function of the time since the board started.
#pragma once

#include "options.h"

#include <array>
#include <cstdint>

namespace board {

/// The byte a channel reports for `volts`: round(volts x 51), clamped to 0..255 (0 to 5 V).
uint8_t VoltsToByte(double volts);
/// The byte channel 4 reports for `volts` (-5 to +5 V): round((volts / 2 + 2.5) x 51), clamped.
uint8_t Channel4ToByte(double volts);

using TiltFrame = std::array<uint8_t, 3>; ///< X, Y, button bits (bit 1 left B1, bit 0 right B0)
using DvmFrame = std::array<uint8_t, 7>;  ///< one byte per channel 0..6

/// The board's readings. Without fixed values: X/Y travel round a circle every 8 s, the button
/// bits count through 0..3 every 3 s, the voltages drift slowly and channel 4 swings across
/// -5..+5 V every 10 s.
class Readings {
public:
    explicit Readings(const BoardOptions& options);
    /// The TILT frame at `ms` milliseconds after start.
    TiltFrame Tilt(int64_t ms) const;
    /// The DVM frame at `ms` milliseconds after start.
    DvmFrame Dvm(int64_t ms) const;

private:
    bool m_fixedTilt;
    TiltFrame m_tilt;
    bool m_fixedVolts;
    DvmFrame m_dvm;
};

} // namespace board
