// Readings of the emulated board.
#include "readings.h"

#include <algorithm>
#include <cmath>

namespace board {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kChannel4 = 4; // the bipolar channel

// sin of the phase of a cycle `periodMs` long at time `ms`, shifted by `phase` radians.
double Wave(int64_t ms, double periodMs, double phase = 0.0) {
    return std::sin(2.0 * kPi * static_cast<double>(ms % static_cast<int64_t>(periodMs)) / periodMs + phase);
}

uint8_t ClampToByte(double value) {
    return static_cast<uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

DvmFrame EncodeVolts(const std::array<double, 7>& volts) {
    DvmFrame frame{};
    for (size_t k = 0; k < frame.size(); ++k)
        frame[k] = k == kChannel4 ? Channel4ToByte(volts[k]) : VoltsToByte(volts[k]);
    return frame;
}

} // namespace

uint8_t VoltsToByte(double volts) {
    return ClampToByte(volts * 51.0);
}

uint8_t Channel4ToByte(double volts) {
    return ClampToByte((volts / 2.0 + 2.5) * 51.0);
}

Readings::Readings(const BoardOptions& options)
    : m_fixedTilt(options.fixedTilt), m_tilt(options.tilt), m_fixedVolts(options.fixedVolts),
      m_dvm(EncodeVolts(options.volts)) {}

TiltFrame Readings::Tilt(int64_t ms) const {
    if (m_fixedTilt) return m_tilt;
    constexpr double kCircleMs = 8000.0;
    constexpr double kRadius = 100.0;
    constexpr int64_t kButtonMs = 3000;
    double x = 128.0 + kRadius * Wave(ms, kCircleMs, kPi / 2.0); // cosine: starts at the right
    double y = 128.0 + kRadius * Wave(ms, kCircleMs);
    return {ClampToByte(x), ClampToByte(y), static_cast<uint8_t>((ms / kButtonMs) % 4)};
}

DvmFrame Readings::Dvm(int64_t ms) const {
    if (m_fixedVolts) return m_dvm;
    std::array<double, 7> volts{};
    for (size_t k = 0; k < volts.size(); ++k) // slow drifts, each channel at its own pace
        volts[k] = 2.5 + 2.0 * Wave(ms, 15000.0 + 4000.0 * static_cast<double>(k), static_cast<double>(k));
    volts[kChannel4] = 5.0 * Wave(ms, 10000.0);
    return EncodeVolts(volts);
}

} // namespace board
