// The readings over time, without any window: what the trend window plots and saves. The main
// window's poll tick records one sample per tick in the history of the mode it polled; nothing else
// talks to the board for it.
//
// Each mode has a ring of kCapacity samples, allocated once when the history is built, so recording
// never allocates. A ring keeps at most kKeepMs of ticks: a sample further back than that from the
// mode's newest one is dropped as well, so after a pause in that mode's polling the old stretch goes
// as soon as it is out of the window of ten minutes.
//
//   sample   tMs (the tick's time on a steady millisecond clock), valid (a whole reply came),
//            lost (the board was not answering during the tick), and the readings of the reply
//   gap      no line joins two samples when either is not valid, or when more than kGapMs lie
//            between them (ticks that were not recorded: the other mode was polled, a box was open)
#pragma once

#include "BoardRows.h"

#include <cstdint>
#include <memory>
#include <string>

/// One tick of one mode.
struct TrendSample {
    int64_t tMs = 0;    ///< the tick's time, milliseconds on a steady clock
    bool valid = false; ///< a whole reply came; otherwise the readings mean nothing
    bool lost = false;  ///< the board was not answering (no reply, or the device gone)
    TiltFrame tilt{};   ///< TILT: the reply
    float volts[BoardProtocol::kChannels] = {}; ///< DVM: the seven channels in volts
};

class TrendHistory {
public:
    /// Ticks kept per mode: ten minutes at the poll period of 100 ms.
    static constexpr int kCapacity = 6000;
    /// The longest stretch kept per mode, newest sample to oldest.
    static constexpr int64_t kKeepMs = 600000;
    /// Two samples further apart than this are not joined by a line.
    static constexpr int64_t kGapMs = 300;

    /// Allocates both rings (the only allocation the history makes).
    TrendHistory();
    TrendHistory(const TrendHistory&) = delete;
    TrendHistory& operator=(const TrendHistory&) = delete;

    /// Appends `sample` to the history of `mode`, dropping the oldest sample when the ring is full
    /// and every sample more than kKeepMs older than it. Never allocates.
    void Record(PollMode mode, const TrendSample& sample);
    /// Samples kept for `mode`.
    int Count(PollMode mode) const;
    /// Sample `index` of `mode`, 0 the oldest kept; `index` must be below Count(mode).
    const TrendSample& At(PollMode mode, int index) const;
    /// The index of the first sample of `mode` at or after `tMs` (Count(mode) when there is none).
    int FirstAtOrAfter(PollMode mode, int64_t tMs) const;
    /// True when a line joins samples `a` and `b` (b the later one).
    static bool Joined(const TrendSample& a, const TrendSample& b);

    /// The kept history of `mode` as korvane-cli's csv: its header, then one row per valid sample,
    /// t_ms counted from the first kept sample (valid or not).
    std::string Csv(PollMode mode) const;

private:
    struct Ring {
        std::unique_ptr<TrendSample[]> samples;
        int first = 0; ///< slot of the oldest sample
        int count = 0;
    };
    const Ring& RingOf(PollMode mode) const { return m_rings[mode == PollMode::Tilt ? 0 : 1]; }
    Ring& RingOf(PollMode mode) { return m_rings[mode == PollMode::Tilt ? 0 : 1]; }

    Ring m_rings[2];
};

/// Writes `text` to `path` through a temporary file beside it that is renamed into place, so that the
/// file is either the old one or the whole new one. Returns an empty string when it succeeded, else
/// what went wrong as one line ("Could not write <path>: <reason>."); the temporary file is removed.
std::string WriteFileAtomically(const std::string& path, const std::string& text);
