// The tick schedule's arithmetic: due times that do not drift, missed ticks skipped in one step.
#include "tick_schedule.h"

#include <gtest/gtest.h>

#include <tuple>

TEST(TickSchedule, EachTickIsDueWholePeriodsAfterTheStart) {
    const std::tuple<const char*, int64_t, uint64_t, uint64_t, int64_t> rows[] = {
        // what, elapsed ms, ticks counted, periods due now, wait in ms
        {"at the start", 0, 0, 0, 100},
        {"just before the first tick", 99, 0, 0, 1},
        {"on the first tick", 100, 0, 1, 0},
        {"a late tick does not shift the next", 130, 1, 0, 70},
        {"the second tick, late", 250, 1, 1, 0},
        {"three ticks missed come as one step of four", 530, 1, 4, 0},
        {"after the missed ones, the next is on time", 530, 5, 0, 70},
        {"a clock that went back waits for the next tick", -5, 0, 0, 105},
        {"more counted than passed waits for the next one still due", 150, 3, 0, 250},
        {"far into a long run", 3600000 + 99, 36000, 0, 1},
    };
    for (const auto& [what, elapsedMs, counted, periods, waitMs] : rows) {
        const cli::TickStep step = cli::NextTick(elapsedMs, counted, 100);
        EXPECT_EQ(std::pair(step.periods, step.waitMs), std::pair(periods, waitMs)) << what;
    }
    // A loop that sleeps exactly what it is told, with 30 ms of work on every tick, sees its ticks at
    // 100, 200, 300 ... and never later: the work does not add up.
    int64_t now = 0;
    for (uint64_t counted = 0; counted < 50;) {
        now += 30;
        now += cli::NextTick(now, counted, 100).waitMs;
        ASSERT_EQ(cli::NextTick(now, counted, 100).periods, 1u) << now;
        ASSERT_EQ(now, int64_t(++counted * 100));
    }
}
