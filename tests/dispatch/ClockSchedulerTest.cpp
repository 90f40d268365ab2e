#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchSemaphore.h"
#include "platform/dispatch/Scheduler.h"

#include "DispatchTestHelpers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <mutex>
#include <string>
#include <vector>

using namespace plat;
using namespace std::chrono_literals;

TEST(Clock, DurationFromSecondsClampsBadAndHugeValues) {
    EXPECT_EQ(durationFromSeconds(1.5), 1500ms);
    EXPECT_EQ(durationFromSeconds(0.000001), 1us);
    EXPECT_EQ(durationFromSeconds(0), Duration::zero());
    EXPECT_EQ(durationFromSeconds(-3), Duration::zero());
    EXPECT_EQ(durationFromSeconds(std::nan("")), Duration::zero());
    EXPECT_EQ(durationFromSeconds(-std::numeric_limits<double>::infinity()), Duration::zero());
    EXPECT_EQ(durationFromSeconds(std::numeric_limits<double>::infinity()), maxDuration());
    EXPECT_EQ(durationFromSeconds(1e300), maxDuration());
    EXPECT_EQ(durationFromSeconds(1e10), maxDuration());
    EXPECT_DOUBLE_EQ(secondsFromDuration(2500ms), 2.5);
    // Deadline arithmetic on the largest duration must not overflow.
    EXPECT_GT(Clock::system().now() + maxDuration(), Clock::system().now());
}

TEST(Clock, ManualClockMovesOnlyWhenAdvanced) {
    ManualClock clock(Date{1000.0});
    const TimePoint start = clock.now();
    EXPECT_EQ(clock.now(), start);
    EXPECT_DOUBLE_EQ(clock.wallNow().secondsSince1970, 1000.0);
    clock.advance(1500ms);
    EXPECT_EQ(clock.now() - start, 1500ms);
    EXPECT_DOUBLE_EQ(clock.wallNow().secondsSince1970, 1001.5);
    clock.advance(-5s); // never backwards
    EXPECT_EQ(clock.now() - start, 1500ms);
    clock.setWallNow(Date{5000.0});
    EXPECT_DOUBLE_EQ(clock.wallNow().secondsSince1970, 5000.0);
    EXPECT_EQ(clock.now() - start, 1500ms); // wall changes leave monotonic time alone
    clock.advance(2s);
    EXPECT_DOUBLE_EQ(clock.wallNow().secondsSince1970, 5002.0);
}

TEST(ManualScheduler, FiresInDeadlineOrderWithTiesInSchedulingOrderAtTheirOwnDeadlines) {
    ManualScheduler scheduler;
    const TimePoint t0 = scheduler.clock().now();
    std::vector<std::pair<int, Duration>> fired;
    auto record = [&](int id) { return [&, id] { fired.emplace_back(id, scheduler.clock().now() - t0); }; };
    scheduler.schedule(t0 + 30ms, record(3));
    scheduler.schedule(t0 + 10ms, record(1));
    scheduler.schedule(t0 + 20ms, record(2));
    scheduler.schedule(t0 + 10ms, record(11)); // same deadline as 1, scheduled later
    scheduler.schedule(t0 + 50ms, record(5));
    EXPECT_EQ(scheduler.pendingCount(), 5u);

    scheduler.advance(9ms);
    EXPECT_TRUE(fired.empty());
    scheduler.advance(21ms); // now at 30ms: 1, 11, 2, 3 are due
    const std::vector<std::pair<int, Duration>> expected{{1, 10ms}, {11, 10ms}, {2, 20ms}, {3, 30ms}};
    EXPECT_EQ(fired, expected);
    EXPECT_EQ(scheduler.clock().now() - t0, 30ms);
    EXPECT_EQ(scheduler.pendingCount(), 1u);
}

TEST(ManualScheduler, CallbacksScheduledDuringAdvanceFireWhenInsideTheWindow) {
    ManualScheduler scheduler;
    const TimePoint t0 = scheduler.clock().now();
    std::vector<std::string> fired;
    scheduler.schedule(t0 + 10ms, [&] {
        fired.push_back("a");
        scheduler.schedule(scheduler.clock().now() + 5ms, [&] { fired.push_back("inside"); });
        scheduler.schedule(scheduler.clock().now() + 50ms, [&] { fired.push_back("outside"); });
    });
    scheduler.advance(20ms);
    EXPECT_EQ(fired, (std::vector<std::string>{"a", "inside"}));
    EXPECT_EQ(scheduler.pendingCount(), 1u);
    scheduler.advance(40ms);
    EXPECT_EQ(fired, (std::vector<std::string>{"a", "inside", "outside"}));
}

TEST(ManualScheduler, CancelAndPastDeadlines) {
    ManualScheduler scheduler;
    const TimePoint t0 = scheduler.clock().now();
    int fired = 0;
    const auto token = scheduler.schedule(t0 + 10ms, [&] { ++fired; });
    EXPECT_TRUE(scheduler.cancel(token));
    EXPECT_FALSE(scheduler.cancel(token));
    EXPECT_FALSE(scheduler.cancel(987654));
    scheduler.advance(1s);
    EXPECT_EQ(fired, 0);

    // A deadline already passed fires on the next advance, even advance(0), without moving time back.
    const TimePoint before = scheduler.clock().now();
    scheduler.schedule(t0, [&] { ++fired; });
    scheduler.advance(Duration::zero());
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(scheduler.clock().now(), before);
    EXPECT_EQ(scheduler.pendingCount(), 0u);
}

TEST(SystemScheduler, NeverFiresEarlyAndFiresInDeadlineOrder) {
    Scheduler& scheduler = Scheduler::system();
    std::mutex mutex;
    std::vector<int> order;
    std::vector<Duration> lateness;
    // Hold the timer thread in a first callback until everything is scheduled, so the order
    // below does not depend on how fast this thread schedules.
    DispatchSemaphore entered, release;
    const auto start = scheduler.clock().now();
    scheduler.schedule(start, [&] {
        entered.signal();
        release.wait();
    });
    ASSERT_TRUE(entered.wait(dispatchtest::kPatience));
    const Duration delays[] = {3ms, 1ms, 2ms, 0ms, 4ms};
    for (int i = 0; i < 5; ++i) {
        const TimePoint deadline = start + delays[i];
        scheduler.schedule(deadline, [&, i, deadline] {
            std::lock_guard lock(mutex);
            order.push_back(i);
            lateness.push_back(Clock::system().now() - deadline);
        });
    }
    const auto cancelled = scheduler.schedule(start + 1ms, [] { FAIL() << "cancelled callback fired"; });
    EXPECT_TRUE(scheduler.cancel(cancelled));
    release.signal();
    ASSERT_TRUE(dispatchtest::eventually([&] {
        std::lock_guard lock(mutex);
        return order.size() == 5;
    }));
    std::lock_guard lock(mutex);
    EXPECT_EQ(order, (std::vector<int>{3, 1, 2, 0, 4}));
    for (Duration late : lateness)
        EXPECT_GE(late, Duration::zero());
}
