#include "platform/dispatch/OperationQueue.h"
#include "platform/dispatch/DispatchSemaphore.h"

#include "DispatchTestHelpers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

using namespace plat;
using namespace std::chrono_literals;

TEST(OperationQueue, NeverRunsMoreThanTheLimitAndReachesIt) {
    OperationQueue queue("test.ops");
    queue.setMaxConcurrentOperationCount(3);
    EXPECT_EQ(queue.maxConcurrentOperationCount(), 3);
    std::atomic<int> inFlight{0}, peak{0}, done{0};
    for (int i = 0; i < 30; ++i) {
        queue.addOperation([&, i] {
            const int now = inFlight.fetch_add(1) + 1;
            int seen = peak.load();
            while (now > seen && !peak.compare_exchange_weak(seen, now)) {
            }
            // The first three wait for each other, so the limit is reached however slow the machine.
            if (i < 3)
                dispatchtest::eventually([&] { return peak.load() >= 3; });
            else
                std::this_thread::sleep_for(100us);
            inFlight.fetch_sub(1);
            done.fetch_add(1);
        });
    }
    queue.waitUntilAllOperationsAreFinished();
    EXPECT_EQ(done.load(), 30);
    EXPECT_EQ(queue.operationCount(), 0u);
    EXPECT_LE(peak.load(), 3);
    EXPECT_EQ(peak.load(), 3);
}

TEST(OperationQueue, LimitOfOneKeepsFifoOrder) {
    OperationQueue queue("test.ops-serial");
    queue.setMaxConcurrentOperationCount(1);
    std::mutex mutex;
    std::vector<int> order;
    for (int i = 0; i < 500; ++i) {
        queue.addOperation([&, i] {
            std::lock_guard lock(mutex);
            order.push_back(i);
        });
    }
    queue.waitUntilAllOperationsAreFinished();
    ASSERT_EQ(order.size(), 500u);
    for (int i = 0; i < 500; ++i)
        ASSERT_EQ(order[i], i);
}

TEST(OperationQueue, CancelAllDropsOnlyBlocksNotStarted) {
    OperationQueue queue("test.ops-cancel");
    queue.setMaxConcurrentOperationCount(1);
    DispatchSemaphore started, release;
    std::atomic<int> ran{0};
    queue.addOperation([&] {
        started.signal();
        release.wait();
        ran.fetch_add(1);
    });
    for (int i = 0; i < 5; ++i)
        queue.addOperation([&] { ran.fetch_add(10); });
    ASSERT_TRUE(started.wait(dispatchtest::kPatience));
    EXPECT_EQ(queue.operationCount(), 6u);
    queue.cancelAll();
    EXPECT_EQ(queue.operationCount(), 1u);
    release.signal();
    queue.waitUntilAllOperationsAreFinished();
    EXPECT_EQ(ran.load(), 1);

    // The queue keeps working after a cancel, and an idle queue does not block waiters.
    queue.addOperation([&] { ran.fetch_add(100); });
    queue.waitUntilAllOperationsAreFinished();
    EXPECT_EQ(ran.load(), 101);
    queue.cancelAll();
    queue.waitUntilAllOperationsAreFinished();
}

TEST(OperationQueue, RaisingTheLimitStartsWaitingBlocks) {
    OperationQueue queue("test.ops-raise");
    queue.setMaxConcurrentOperationCount(1);
    std::atomic<int> arrived{0};
    std::atomic<int> metBoth{0};
    for (int i = 0; i < 2; ++i) {
        queue.addOperation([&] {
            arrived.fetch_add(1);
            if (dispatchtest::eventually([&] { return arrived.load() == 2; })) metBoth.fetch_add(1);
        });
    }
    ASSERT_TRUE(dispatchtest::eventually([&] { return arrived.load() == 1; }));
    std::this_thread::sleep_for(1ms);
    EXPECT_EQ(arrived.load(), 1); // the second waits for the limit
    queue.setMaxConcurrentOperationCount(OperationQueue::kDefaultMaxConcurrentOperationCount);
    queue.waitUntilAllOperationsAreFinished();
    EXPECT_EQ(metBoth.load(), 2);
}

TEST(OperationQueueDeathTest, WaitingFromInsideAnOperationAborts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            OperationQueue queue("test.ops-self");
            queue.addOperation([queue] { queue.waitUntilAllOperationsAreFinished(); });
            std::this_thread::sleep_for(dispatchtest::kPatience); // ended by the abort long before
        },
        "called from an operation of 'test.ops-self'");
}
