#include "platform/dispatch/DispatchGroup.h"
#include "platform/dispatch/DispatchSemaphore.h"
#include "platform/dispatch/Once.h"

#include "DispatchTestHelpers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

using namespace plat;
using namespace std::chrono_literals;

TEST(DispatchGroup, WaitReturnsTrueWhenEmptiedAndFalseOnTimeout) {
    DispatchGroup group;
    EXPECT_TRUE(group.wait(0ms)); // empty from the start
    group.enter();
    group.enter();
    EXPECT_EQ(group.count(), 2);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(group.wait(2ms));
    EXPECT_GE(dispatchtest::since(start), 2ms);

    std::thread leaver([&] {
        std::this_thread::sleep_for(1ms);
        group.leave();
        group.leave();
    });
    EXPECT_TRUE(group.wait(dispatchtest::kPatience));
    leaver.join();
    EXPECT_EQ(group.count(), 0);
    EXPECT_TRUE(group.wait());

    DispatchGroup copy = group; // copies share the count
    copy.enter();
    EXPECT_EQ(group.count(), 1);
    EXPECT_TRUE(copy == group);
    EXPECT_FALSE(group == DispatchGroup());
    group.leave();
}

TEST(DispatchGroup, AsyncWithGroupCoversEveryBlockAndNotifyFiresOnce) {
    DispatchGroup group;
    DispatchQueue queue = DispatchQueue::concurrent("test.group");
    std::atomic<int> ran{0};
    std::atomic<int> notified{0};
    DispatchQueue serial = DispatchQueue::serial("test.group-notify");
    for (int i = 0; i < 50; ++i) {
        queue.async(group, [&] {
            std::this_thread::sleep_for(10us);
            ran.fetch_add(1);
        });
    }
    group.notify(serial, [&] {
        EXPECT_EQ(ran.load(), 50);
        notified.fetch_add(1);
    });
    EXPECT_TRUE(group.wait(dispatchtest::kPatience));
    EXPECT_EQ(ran.load(), 50);
    EXPECT_TRUE(dispatchtest::eventually([&] { return notified.load() == 1; }));
    serial.sync([] {});
    EXPECT_EQ(notified.load(), 1);
}

TEST(DispatchGroupDeathTest, LeavingMoreThanEnteredAborts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    DispatchGroup group;
    EXPECT_DEATH(group.leave(), "leave\\(\\) called more often than enter\\(\\)");
    group.enter();
    group.leave();
    EXPECT_DEATH(group.leave(), "more often than enter");
}

TEST(DispatchSemaphore, TimesOutAndCounts) {
    DispatchSemaphore semaphore(2);
    EXPECT_TRUE(semaphore.wait(0ms));
    EXPECT_TRUE(semaphore.wait(0ms));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(semaphore.wait(2ms));
    EXPECT_GE(dispatchtest::since(start), 2ms);
    // The timed-out waiter gave its claim back: one signal lets exactly one wait through.
    EXPECT_FALSE(semaphore.signal()); // nobody waiting
    EXPECT_TRUE(semaphore.wait(0ms));
    EXPECT_FALSE(semaphore.wait(0ms));
}

TEST(DispatchSemaphore, SignalWakesWaitersAcrossThreads) {
    DispatchSemaphore semaphore;
    constexpr int kThreads = 4, kEach = 200;
    std::atomic<int> acquired{0};
    std::vector<std::thread> waiters;
    for (int t = 0; t < kThreads; ++t) {
        waiters.emplace_back([&] {
            for (int i = 0; i < kEach; ++i) {
                if (semaphore.wait(dispatchtest::kPatience)) acquired.fetch_add(1);
            }
        });
    }
    int woke = 0;
    for (int i = 0; i < kThreads * kEach; ++i)
        woke += semaphore.signal() ? 1 : 0;
    for (auto& t : waiters)
        t.join();
    EXPECT_EQ(acquired.load(), kThreads * kEach);
    EXPECT_LE(woke, kThreads * kEach);
    EXPECT_FALSE(semaphore.wait(0ms)); // every signal was used exactly once

    // signal() reports a woken waiter.
    DispatchSemaphore one;
    std::atomic<bool> got{false};
    std::thread waiter([&] { got = one.wait(dispatchtest::kPatience); });
    // Until the waiter blocks, signal() only raises the count: take it back and try again. If
    // the waiter took it first, it never blocked and there is nothing to report.
    bool reported = false;
    bool tookItBack = true;
    while (tookItBack && !(reported = one.signal())) {
        tookItBack = one.wait(0ms);
        std::this_thread::sleep_for(100us);
    }
    waiter.join();
    EXPECT_TRUE(got.load());
    EXPECT_TRUE(reported || !tookItBack);
}

// The usual hand-off: a waiter blocks on a semaphore its owner signals and then destroys at once.
// The woken waiter is still on its way out of wait() and must not touch freed state.
TEST(DispatchSemaphore, AWokenWaiterOutlivesTheSemaphoreItWaitedOn) {
    int wokenRounds = 0;
    for (int round = 0; round < 300; ++round) {
        auto semaphore = std::make_unique<DispatchSemaphore>();
        std::thread waiter([s = semaphore.get()] { EXPECT_TRUE(s->wait()); });
        // Until the waiter blocks, signal() only raises the count: take it back and retry. If the
        // waiter took it first it is already inside wait(), which is just as good.
        bool woke = false;
        while (!(woke = semaphore->signal()) && semaphore->wait(0ms))
            std::this_thread::yield();
        semaphore.reset();
        waiter.join();
        wokenRounds += woke ? 1 : 0;
    }
    EXPECT_GT(wokenRounds, 0) << "no round destroyed a semaphore under a woken waiter";
}

TEST(Once, RunsExactlyOnceAcrossThreads) {
    Once once;
    std::atomic<int> calls{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([&] { once([&] { calls.fetch_add(1); }); });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(calls.load(), 1);
}
