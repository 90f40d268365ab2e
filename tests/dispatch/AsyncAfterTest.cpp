#include "platform/dispatch/DispatchGroup.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/RunLoop.h"

#include "DispatchTestHelpers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <vector>

using namespace plat;
using namespace std::chrono_literals;

TEST(AsyncAfter, NeverFiresEarlyOnTheRealScheduler) {
    DispatchQueue queue = DispatchQueue::concurrent("test.after");
    DispatchGroup group;
    std::mutex mutex;
    std::vector<std::pair<Duration, Duration>> measured; // (delay, elapsed)
    for (Duration delay : {0ms, 1ms, 2ms, 3ms, 5ms, 1ms, 4ms}) {
        const auto start = std::chrono::steady_clock::now();
        group.enter();
        queue.asyncAfter(delay, [&, delay, start] {
            {
                std::lock_guard lock(mutex);
                measured.emplace_back(delay, dispatchtest::since(start));
            }
            group.leave();
        });
    }
    // By deadline too.
    const TimePoint deadline = Clock::system().now() + 2ms;
    std::atomic<bool> deadlineKept{false};
    group.enter();
    queue.asyncAfter(deadline, [&] {
        deadlineKept = Clock::system().now() >= deadline;
        group.leave();
    });
    ASSERT_TRUE(group.wait(dispatchtest::kPatience));
    EXPECT_TRUE(deadlineKept.load());
    ASSERT_EQ(measured.size(), 7u);
    for (auto [delay, elapsed] : measured)
        EXPECT_GE(elapsed, delay);
}

TEST(AsyncAfter, MainQueueBlockWaitsForDelayAndRunLoop) {
    const auto start = std::chrono::steady_clock::now();
    bool ran = false;
    Duration elapsed{};
    mainQueue().asyncAfter(2ms, [&] {
        ran = true;
        elapsed = dispatchtest::since(start);
    });
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return ran; }, dispatchtest::kPatience));
    EXPECT_GE(elapsed, 2ms);
}

TEST(AsyncAfter, FiresOnTheManualSchedulerOnlyWhenAdvancedFarEnough) {
    ManualScheduler scheduler;
    std::vector<int> ran;
    mainQueue().asyncAfter(
        10ms, [&] { ran.push_back(1); }, scheduler);
    mainQueue().asyncAfter(
        scheduler.clock().now() + 15ms, [&] { ran.push_back(2); }, scheduler);
    mainQueue().asyncAfter(
        -5ms, [&] { ran.push_back(0); }, scheduler); // negative delay: now

    EXPECT_EQ(RunLoop::main().drain(), 0u); // nothing fires without advancing
    scheduler.advance(0ms);
    EXPECT_EQ(RunLoop::main().drain(), 1u);
    scheduler.advance(9ms);
    EXPECT_EQ(RunLoop::main().drain(), 0u);
    EXPECT_EQ(ran, (std::vector<int>{0}));
    scheduler.advance(1ms);
    EXPECT_EQ(RunLoop::main().drain(), 1u);
    EXPECT_EQ(ran, (std::vector<int>{0, 1}));
    scheduler.advance(1h);
    EXPECT_EQ(RunLoop::main().drain(), 1u);
    EXPECT_EQ(ran, (std::vector<int>{0, 1, 2}));

    // On a worker queue the block runs once the fire posted it.
    std::atomic<bool> serialRan{false};
    DispatchQueue serial = DispatchQueue::serial("test.after-manual");
    serial.asyncAfter(
        1s, [&] { serialRan = true; }, scheduler);
    scheduler.advance(999ms);
    serial.sync([] {});
    EXPECT_FALSE(serialRan.load());
    scheduler.advance(1ms);
    serial.sync([] {});
    EXPECT_TRUE(serialRan.load());
}
