#include "tick_schedule.h"

namespace cli {

TickStep NextTick(int64_t elapsedMs, uint64_t counted, int periodMs) {
    const uint64_t passed = elapsedMs > 0 ? static_cast<uint64_t>(elapsedMs / periodMs) : 0;
    if (passed > counted) return {passed - counted, 0};
    const int64_t nextMs = static_cast<int64_t>(counted + 1) * periodMs;
    return {0, nextMs - elapsedMs};
}

} // namespace cli
