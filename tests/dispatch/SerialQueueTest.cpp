#include "platform/dispatch/DispatchGroup.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSemaphore.h"

#include "DispatchTestHelpers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace plat;
using namespace std::chrono_literals;

TEST(SerialQueue, TenThousandBlocksRunInFifoOrderWithSyncInterleaved) {
    DispatchQueue queue = DispatchQueue::serial("test.fifo");
    std::vector<int> seen; // touched only on the queue
    constexpr int kCount = 10'000;
    for (int i = 0; i < kCount; ++i) {
        queue.async([&seen, i] { seen.push_back(i); });
        if (i % 1000 == 999) {
            // A sync runs after everything queued before it.
            queue.sync([&seen, i] { EXPECT_EQ(seen.size(), static_cast<size_t>(i + 1)); });
        }
    }
    std::vector<int> result;
    queue.sync([&] { result = seen; });
    ASSERT_EQ(result.size(), static_cast<size_t>(kCount));
    for (int i = 0; i < kCount; ++i)
        ASSERT_EQ(result[i], i) << "out of order at " << i;
}

TEST(SerialQueue, RunsOneBlockAtATimeWhenFedFromManyThreads) {
    DispatchQueue queue = DispatchQueue::serial("test.exclusive");
    long counter = 0; // deliberately unsynchronised: the queue is the lock (ThreadSanitizer checks it)
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
    DispatchGroup group;
    std::vector<std::thread> posters;
    for (int t = 0; t < 4; ++t) {
        posters.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                queue.async(group, [&] {
                    if (inside.fetch_add(1) != 0) overlapped = true;
                    ++counter;
                    inside.fetch_sub(1);
                });
                if (i % 100 == 0) queue.sync([&] { ++counter; });
            }
        });
    }
    for (auto& t : posters)
        t.join();
    ASSERT_TRUE(group.wait(dispatchtest::kPatience));
    long result = 0;
    queue.sync([&] { result = counter; });
    EXPECT_EQ(result, 4 * 505);
    EXPECT_FALSE(overlapped);
}

TEST(SerialQueue, CurrentAndIsCurrentFollowNestedSync) {
    DispatchQueue a = DispatchQueue::serial("test.a");
    DispatchQueue b = DispatchQueue::serial("test.b");
    EXPECT_FALSE(DispatchQueue::current().has_value()); // the test thread is in no queue
    EXPECT_FALSE(a.isCurrent());
    EXPECT_EQ(a.label(), "test.a");
    EXPECT_TRUE(a.isSerial());
    EXPECT_FALSE(a.isMain());

    std::atomic<bool> checked{false};
    a.async([&] {
        EXPECT_TRUE(a.isCurrent());
        EXPECT_FALSE(b.isCurrent());
        EXPECT_TRUE(DispatchQueue::current() == a);
        b.sync([&] {
            EXPECT_TRUE(b.isCurrent());
            EXPECT_TRUE(a.isCurrent()); // still inside a's block
            EXPECT_TRUE(DispatchQueue::current() == b);
        });
        EXPECT_TRUE(DispatchQueue::current() == a);
        checked = true;
    });
    ASSERT_TRUE(dispatchtest::eventually([&] { return checked.load(); }));
    EXPECT_FALSE(a.isCurrent());
}

TEST(SerialQueue, SyncWaitsForQueuedBlocksAndPropagatesExceptions) {
    DispatchQueue queue = DispatchQueue::serial("test.sync");
    DispatchSemaphore gate;
    std::atomic<bool> firstDone{false};
    queue.async([&] {
        gate.wait();
        firstDone = true;
    });
    std::thread opener([&] {
        std::this_thread::sleep_for(2ms);
        gate.signal();
    });
    bool sawFirst = false;
    queue.sync([&] { sawFirst = firstDone.load(); });
    opener.join();
    EXPECT_TRUE(sawFirst);

    EXPECT_THROW(queue.sync([] { throw std::runtime_error("boom"); }), std::runtime_error);
    // The queue is released after the throw.
    bool ran = false;
    queue.sync([&] { ran = true; });
    EXPECT_TRUE(ran);
}

TEST(SerialQueue, QueueStaysAliveUntilItsBlocksRan) {
    std::atomic<int> ran{0};
    {
        DispatchQueue queue = DispatchQueue::serial("test.short-lived");
        for (int i = 0; i < 100; ++i)
            queue.async([&] { ++ran; });
    }
    EXPECT_TRUE(dispatchtest::eventually([&] { return ran.load() == 100; }));
}

TEST(SerialQueueDeathTest, SyncOntoItselfAbortsNamingTheQueue) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    DispatchQueue queue = DispatchQueue::serial("test.self");
    EXPECT_DEATH(queue.sync([&] { queue.sync([] {}); }), "sync onto serial queue 'test.self'");
    // Through another queue: a -> b -> a.
    DispatchQueue a = DispatchQueue::serial("test.outer");
    DispatchQueue b = DispatchQueue::serial("test.inner");
    EXPECT_DEATH(a.sync([&] { b.sync([&] { a.sync([] {}); }); }), "sync onto serial queue 'test.outer'");
    // From a block running asynchronously on a worker.
    EXPECT_DEATH(
        {
            queue.async([&] { queue.sync([] {}); });
            std::this_thread::sleep_for(dispatchtest::kPatience); // ended by the abort long before
        },
        "sync onto serial queue 'test.self'");
}
