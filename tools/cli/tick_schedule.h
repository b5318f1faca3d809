// The arithmetic of a tick schedule that does not drift: tick n is due n periods after the start,
// whatever time the ticks before it took. Pure, so that it is tested without a clock.
#pragma once

#include <cstdint>

namespace cli {

/// What is due at a moment of the schedule.
struct TickStep {
    uint64_t periods; ///< whole periods passed since the last ones counted; 0 when none
    int64_t waitMs;   ///< when `periods` is 0: the time left until the next tick (at least 1)
};

/// The step at `elapsedMs` after the start of a schedule of `periodMs`, when `counted` periods were
/// handed out already. Periods missed all come as one step (the caller skips them, not runs them).
/// A clock that went back (elapsedMs below what was counted) waits for the next tick still due.
TickStep NextTick(int64_t elapsedMs, uint64_t counted, int periodMs);

} // namespace cli
