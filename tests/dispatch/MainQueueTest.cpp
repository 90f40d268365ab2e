#include "platform/dispatch/DispatchGroup.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/RunLoop.h"

#include "DispatchTestHelpers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace plat;
using namespace std::chrono_literals;

namespace {
// Every test starts and ends with an empty main queue and no wake handler.
class MainQueue : public ::testing::Test {
protected:
    void SetUp() override { RunLoop::main().drain(); }
    void TearDown() override {
        RunLoop::main().setWakeHandler(nullptr);
        RunLoop::main().drain();
    }
};
} // namespace

TEST_F(MainQueue, BlocksPostedFromAWorkerRunOnlyInsideTheRunLoop) {
    ASSERT_TRUE(isMainThread()); // gtest runs tests on the process's initial thread
    std::atomic<int> wakes{0};
    RunLoop::main().setWakeHandler([&] { wakes.fetch_add(1); });

    std::atomic<bool> ran{false};
    bool ranOnMain = false;
    bool currentIsMain = false;
    std::thread worker([&] {
        EXPECT_FALSE(isMainThread());
        mainQueue().async([&] {
            ranOnMain = isMainThread();
            currentIsMain = DispatchQueue::current() && DispatchQueue::current()->isMain() &&
                            DispatchQueue::main().isCurrent();
            ran = true;
        });
    });
    worker.join();
    EXPECT_EQ(wakes.load(), 1);
    EXPECT_EQ(RunLoop::main().pendingCount(), 1u);
    std::this_thread::sleep_for(3ms);
    EXPECT_FALSE(ran.load()) << "a main-queue block ran outside the run loop";

    EXPECT_EQ(RunLoop::main().drain(), 1u);
    EXPECT_TRUE(ran.load());
    EXPECT_TRUE(ranOnMain);
    EXPECT_TRUE(currentIsMain);
    EXPECT_FALSE(DispatchQueue::main().isCurrent()); // outside the loop again
}

TEST_F(MainQueue, RunUntilPumpsUntilThePredicateHoldsOrTimesOut) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
        std::this_thread::sleep_for(1ms);
        mainQueue().async([&] { done = true; });
    });
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return done.load(); }, dispatchtest::kPatience));
    worker.join();

    // A predicate that turns true on another thread without posting anything is still noticed.
    std::atomic<bool> flag{false};
    std::thread setter([&] {
        std::this_thread::sleep_for(1ms);
        flag = true;
    });
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return flag.load(); }, dispatchtest::kPatience));
    setter.join();

    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(RunLoop::main().runUntil([] { return false; }, 3ms));
    EXPECT_GE(dispatchtest::since(start), 3ms);
}

TEST_F(MainQueue, DrainRunsNestedPostsAndRunOneRunsOne) {
    std::vector<int> order;
    mainQueue().async([&] {
        order.push_back(1);
        mainQueue().async([&] { order.push_back(3); });
    });
    mainQueue().async([&] { order.push_back(2); });
    EXPECT_TRUE(RunLoop::main().runOne());
    EXPECT_EQ(order, (std::vector<int>{1}));
    EXPECT_EQ(RunLoop::main().drain(), 2u);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_FALSE(RunLoop::main().runOne());
}

TEST_F(MainQueue, RunReturnsAfterStop) {
    std::vector<int> order;
    mainQueue().async([&] { order.push_back(1); });
    mainQueue().async([&] {
        order.push_back(2);
        RunLoop::main().stop();
    });
    mainQueue().async([&] { order.push_back(3); });
    RunLoop::main().run();
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_EQ(RunLoop::main().pendingCount(), 1u);

    // stop() from another thread ends a run() that is waiting for work.
    std::atomic<bool> inRun{false};
    mainQueue().async([&] { inRun = true; });
    std::thread stopper([&] {
        ASSERT_TRUE(dispatchtest::eventually([&] { return inRun.load(); }));
        RunLoop::main().stop();
    });
    RunLoop::main().run();
    stopper.join();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST_F(MainQueue, SyncFromAWorkerWaitsForTheRunLoop) {
    std::atomic<bool> returned{false};
    int value = 0;
    bool onMain = false;
    std::thread worker([&] {
        mainQueue().sync([&] {
            value = 42;
            onMain = isMainThread();
        });
        returned = true;
    });
    std::this_thread::sleep_for(2ms);
    EXPECT_FALSE(returned.load()); // nothing runs main-queue blocks yet
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return returned.load(); }, dispatchtest::kPatience));
    worker.join();
    EXPECT_EQ(value, 42);
    EXPECT_TRUE(onMain);
}

TEST_F(MainQueue, GroupNotifyAndAsyncWithGroupReachTheMainQueue) {
    DispatchGroup group;
    std::atomic<int> done{0};
    DispatchQueue worker = DispatchQueue::concurrent("test.group-work");
    for (int i = 0; i < 10; ++i)
        worker.async(group, [&] { done.fetch_add(1); });
    bool notified = false;
    group.notify(mainQueue(), [&] {
        EXPECT_EQ(done.load(), 10);
        notified = true;
    });
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return notified; }, dispatchtest::kPatience));
    // Notifying an empty group posts at once.
    bool immediate = false;
    DispatchGroup().notify(mainQueue(), [&] { immediate = true; });
    EXPECT_EQ(RunLoop::main().drain(), 1u);
    EXPECT_TRUE(immediate);
}

TEST(MainQueueDeathTest, SyncOntoMainFromMainAborts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(mainQueue().sync([] {}), "main\\(\\)\\.sync called on the main thread");
    // Through a serial queue: main -> sync onto s -> sync onto main would deadlock the same way.
    DispatchQueue serial = DispatchQueue::serial("test.to-main");
    EXPECT_DEATH(serial.sync([] { mainQueue().sync([] {}); }), "main thread");
}

TEST(MainQueueDeathTest, PumpingOffTheMainThreadAborts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(std::thread([] { RunLoop::main().drain(); }).join(), "must be called on the main thread");
}
