#include "platform/dispatch/DispatchGroup.h"
#include "platform/dispatch/DispatchSourceTimer.h"
#include "platform/dispatch/RunLoop.h"

#include "DispatchTestHelpers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

using namespace plat;
using namespace std::chrono_literals;

namespace {
// Timers on the main queue with a manual scheduler: a tick is visible after advance() + drain().
class ManualTimer : public ::testing::Test {
protected:
    void SetUp() override { RunLoop::main().drain(); }
    void TearDown() override { RunLoop::main().drain(); }
    void step(Duration d) {
        scheduler.advance(d);
        RunLoop::main().drain();
    }
    ManualScheduler scheduler; // declared first: it outlives the timers in each test
};
} // namespace

TEST_F(ManualTimer, RepeatsOnTheManualClockAndCancelStopsIt) {
    DispatchSourceTimer timer(mainQueue(), scheduler);
    int fires = 0, cancels = 0;
    timer.setEventHandler([&] { ++fires; });
    timer.setCancelHandler([&] { ++cancels; });
    timer.schedule(10ms, 10ms);
    step(1h);
    EXPECT_EQ(fires, 0) << "timers start suspended";
    timer.schedule(10ms, 10ms); // start counts from this call, not from resume()
    timer.resume();

    step(9ms);
    EXPECT_EQ(fires, 0);
    step(1ms);
    EXPECT_EQ(fires, 1);
    for (int i = 0; i < 5; ++i)
        step(10ms);
    EXPECT_EQ(fires, 6);
    // Ticks that fall due while the handler is still queued merge into one.
    step(100ms);
    EXPECT_EQ(fires, 7);
    step(10ms);
    EXPECT_EQ(fires, 8);

    timer.cancel();
    EXPECT_TRUE(timer.isCancelled());
    step(1s);
    EXPECT_EQ(fires, 8);
    EXPECT_EQ(cancels, 1);
    EXPECT_EQ(scheduler.pendingCount(), 0u);
    timer.cancel(); // a second cancel changes nothing
    step(1s);
    EXPECT_EQ(cancels, 1);
}

TEST_F(ManualTimer, OneShotFiresOnceAndRescheduleRestartsIt) {
    DispatchSourceTimer timer(mainQueue(), scheduler);
    int fires = 0;
    timer.setEventHandler([&] { ++fires; });
    timer.schedule(5ms);
    timer.resume();
    step(4ms);
    EXPECT_EQ(fires, 0);
    step(1ms);
    EXPECT_EQ(fires, 1);
    step(1h);
    EXPECT_EQ(fires, 1);
    timer.schedule(1ms); // relative to now
    step(1ms);
    EXPECT_EQ(fires, 2);
}

TEST_F(ManualTimer, SuspendHoldsTicksAndResumeDeliversOne) {
    DispatchSourceTimer timer(mainQueue(), scheduler);
    int fires = 0;
    timer.setEventHandler([&] { ++fires; });
    timer.schedule(10ms, 10ms);
    timer.resume();
    step(10ms);
    EXPECT_EQ(fires, 1);
    timer.suspend();
    step(50ms);
    EXPECT_EQ(fires, 1);
    timer.resume();
    step(0ms); // the missed deadline fires now, once
    EXPECT_EQ(fires, 2);

    // A tick queued on the main queue when suspend() comes is held until resume().
    step(10ms);
    EXPECT_EQ(fires, 3);
    scheduler.advance(10ms);
    timer.suspend();
    RunLoop::main().drain();
    EXPECT_EQ(fires, 3);
    timer.resume();
    RunLoop::main().drain();
    EXPECT_EQ(fires, 4);
}

TEST_F(ManualTimer, CancelFromInsideTheHandler) {
    DispatchSourceTimer timer(mainQueue(), scheduler);
    int fires = 0, cancels = 0;
    timer.setEventHandler([&] {
        ++fires;
        timer.cancel();
        EXPECT_EQ(cancels, 0) << "the cancel handler waits for the event handler";
    });
    timer.setCancelHandler([&] { ++cancels; });
    timer.schedule(1ms, 1ms);
    timer.resume();
    step(10ms);
    EXPECT_EQ(fires, 1);
    EXPECT_EQ(cancels, 1);
    step(10ms);
    EXPECT_EQ(fires, 1);
}

TEST_F(ManualTimer, ADestroyedTimerNeverFiresAgain) {
    int fires = 0;
    auto timer = std::make_unique<DispatchSourceTimer>(mainQueue(), scheduler);
    timer->setEventHandler([&] { ++fires; });
    timer->schedule(1ms, 1ms);
    timer->resume();
    step(1ms);
    EXPECT_EQ(fires, 1);
    scheduler.advance(1ms); // a tick is now queued on the main queue
    EXPECT_EQ(RunLoop::main().pendingCount(), 1u);
    timer.reset();
    step(1s);
    EXPECT_EQ(fires, 1);
    EXPECT_EQ(scheduler.pendingCount(), 0u);
}

TEST_F(ManualTimer, TimerThatNeverGotAScheduleDoesNotFire) {
    DispatchSourceTimer timer(mainQueue(), scheduler);
    int fires = 0;
    timer.setEventHandler([&] { ++fires; });
    timer.resume();
    step(1h);
    EXPECT_EQ(fires, 0);
}

TEST(TimerDeathTest, ResumingMoreThanSuspendedAborts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            DispatchSourceTimer timer(DispatchQueue::serial("test.over-resume"));
            timer.resume();
            timer.resume();
        },
        "resume\\(\\) called more often than suspend\\(\\)");
}

TEST(RealTimer, RepeatsOnTheSystemSchedulerNeverEarlyAndStopsOnCancel) {
    DispatchQueue queue = DispatchQueue::serial("test.real-timer");
    DispatchSourceTimer timer(queue);
    std::atomic<int> fires{0};
    std::atomic<bool> cancelled{false};
    timer.setEventHandler([&] { fires.fetch_add(1); });
    timer.setCancelHandler([&] { cancelled = true; });
    const auto start = std::chrono::steady_clock::now();
    timer.schedule(1ms, 1ms, 100us);
    timer.resume();
    ASSERT_TRUE(dispatchtest::eventually([&] { return fires.load() >= 3; }));
    EXPECT_GE(dispatchtest::since(start), 3ms); // fires at >= 1, 2, 3 ms
    timer.cancel();
    ASSERT_TRUE(dispatchtest::eventually([&] { return cancelled.load(); }));
    const int atCancel = fires.load();
    std::this_thread::sleep_for(3ms);
    EXPECT_EQ(fires.load(), atCancel);
}

TEST(RealTimer, HandlersNeverOverlapOnAConcurrentQueue) {
    DispatchQueue queue = DispatchQueue::concurrent("test.timer-overlap");
    DispatchSourceTimer timer(queue);
    std::atomic<int> inside{0}, fires{0};
    std::atomic<bool> overlapped{false};
    timer.setEventHandler([&] {
        if (inside.fetch_add(1) != 0) overlapped = true;
        std::this_thread::sleep_for(500us); // longer than the interval
        inside.fetch_sub(1);
        fires.fetch_add(1);
    });
    timer.schedule(Duration::zero(), 100us);
    timer.resume();
    std::atomic<bool> cancelled{false};
    timer.setCancelHandler([&] {
        // Runs only after a handler in progress returned.
        EXPECT_EQ(inside.load(), 0);
        cancelled = true;
    });
    ASSERT_TRUE(dispatchtest::eventually([&] { return fires.load() >= 5; }));
    timer.cancel();
    ASSERT_TRUE(dispatchtest::eventually([&] { return cancelled.load(); }));
    EXPECT_FALSE(overlapped.load());
}
