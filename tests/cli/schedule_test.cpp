// The tick schedule's arithmetic: due times that do not drift, missed ticks skipped in one step.
#include "tick_schedule.h"

#include <gtest/gtest.h>

namespace {

struct ScheduleRow {
    const char* what;
    int64_t elapsedMs;
    uint64_t counted;
    uint64_t periods;
    int64_t waitMs;
};

TEST(TickSchedule, EachTickIsDueWholePeriodsAfterTheStart) {
    const ScheduleRow rows[] = {
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
    for (const ScheduleRow& row : rows) {
        const cli::TickStep step = cli::NextTick(row.elapsedMs, row.counted, 100);
        EXPECT_EQ(step.periods, row.periods) << row.what;
        EXPECT_EQ(step.waitMs, row.waitMs) << row.what;
    }
}

// A loop that sleeps exactly what it is told, with 30 ms of work on every tick, sees its ticks at
// 100, 200, 300 ... and never later: the work does not add up.
TEST(TickSchedule, WorkOnEachTickDoesNotAddUp) {
    int64_t now = 0;
    uint64_t counted = 0;
    for (int tick = 1; tick <= 50; ++tick) {
        now += 30;
        cli::TickStep step = cli::NextTick(now, counted, 100);
        ASSERT_EQ(step.periods, 0u) << "tick " << tick;
        now += step.waitMs;
        step = cli::NextTick(now, counted, 100);
        ASSERT_EQ(step.periods, 1u) << "tick " << tick;
        counted += step.periods;
        EXPECT_EQ(now, tick * 100) << "tick " << tick;
    }
}

} // namespace
