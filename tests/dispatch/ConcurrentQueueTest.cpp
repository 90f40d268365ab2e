#include "platform/dispatch/DispatchGroup.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSemaphore.h"

#include "DispatchTestHelpers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace plat;
using namespace std::chrono_literals;
using dispatchtest::eventually;

namespace {
// Each of `n` blocks waits until all `n` have started; only true parallelism lets them finish.
void expectParallel(const DispatchQueue& queue, int n) {
    std::atomic<int> arrived{0};
    std::atomic<int> metAll{0};
    DispatchGroup group;
    for (int i = 0; i < n; ++i) {
        queue.async(group, [&] {
            arrived.fetch_add(1);
            if (eventually([&] { return arrived.load() == n; })) metAll.fetch_add(1);
        });
    }
    ASSERT_TRUE(group.wait(dispatchtest::kPatience));
    EXPECT_EQ(metAll.load(), n) << queue.label();
}
} // namespace

TEST(ConcurrentQueue, RunsBlocksInParallel) {
    DispatchQueue queue = DispatchQueue::concurrent("test.parallel");
    EXPECT_FALSE(queue.isSerial());
    expectParallel(queue, 8);
}

TEST(ConcurrentQueue, BarrierRunsAloneBetweenTheBlocksBeforeAndAfterIt) {
    DispatchQueue queue = DispatchQueue::concurrent("test.barrier");
    std::atomic<int> inFlight{0};
    std::atomic<int> before{0};
    std::atomic<bool> barrierDone{false};
    std::atomic<int> violations{0};
    DispatchGroup group;
    for (int i = 0; i < 8; ++i) {
        queue.async(group, [&] {
            inFlight.fetch_add(1);
            std::this_thread::sleep_for(1ms);
            before.fetch_add(1);
            inFlight.fetch_sub(1);
        });
    }
    queue.asyncBarrier([&] {
        if (inFlight.load() != 0 || before.load() != 8) violations.fetch_add(1);
        std::this_thread::sleep_for(2ms);
        if (inFlight.load() != 0) violations.fetch_add(1);
        barrierDone = true;
    });
    for (int i = 0; i < 8; ++i) {
        queue.async(group, [&] {
            inFlight.fetch_add(1);
            if (!barrierDone.load()) violations.fetch_add(1);
            inFlight.fetch_sub(1);
        });
    }
    ASSERT_TRUE(group.wait(dispatchtest::kPatience));
    EXPECT_TRUE(barrierDone.load());
    EXPECT_EQ(violations.load(), 0);
}

TEST(ConcurrentQueue, SyncAndSyncBarrierRunOnTheCallerInOrder) {
    DispatchQueue queue = DispatchQueue::concurrent("test.sync");
    std::vector<int> log; // written by barriers only, or the sync after them
    std::atomic<int> plain{0};
    for (int i = 0; i < 20; ++i)
        queue.async([&] { plain.fetch_add(1); });
    queue.syncBarrier([&] {
        EXPECT_EQ(plain.load(), 20);
        EXPECT_TRUE(queue.isCurrent());
        log.push_back(1);
    });
    queue.sync([&] {
        EXPECT_TRUE(DispatchQueue::current() == queue);
        // A plain sync from inside a concurrent queue is allowed.
        queue.sync([&] { log.push_back(2); });
    });
    EXPECT_EQ(log, (std::vector<int>{1, 2}));
}

TEST(ConcurrentQueue, BarrierOnASerialQueueIsPlainAsync) {
    DispatchQueue queue = DispatchQueue::serial("test.serial-barrier");
    std::vector<int> order;
    queue.async([&] { order.push_back(1); });
    queue.asyncBarrier([&] { order.push_back(2); });
    queue.syncBarrier([&] { order.push_back(3); });
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(GlobalQueue, IsSharedConcurrentAndKnowsItIsCurrent) {
    DispatchQueue q = DispatchQueue::global(QoS::UserInitiated);
    EXPECT_TRUE(q == DispatchQueue::global(QoS::UserInitiated));
    EXPECT_FALSE(q == DispatchQueue::global(QoS::Background));
    EXPECT_FALSE(q.isSerial());
    std::atomic<bool> current{false};
    DispatchGroup group;
    q.async(group, [&] { current = q.isCurrent() && DispatchQueue::current() == q; });
    ASSERT_TRUE(group.wait(dispatchtest::kPatience));
    EXPECT_TRUE(current.load());
    expectParallel(DispatchQueue::global(), 8);
}

TEST(GlobalQueue, BlockingWorkDoesNotStarveThePool) {
    // More blocked blocks than cores: the pool must grow so the releasing block still runs.
    constexpr int kBlocked = 40;
    DispatchSemaphore release;
    DispatchGroup group;
    for (int i = 0; i < kBlocked; ++i) {
        DispatchQueue::global(QoS::Utility).async(group, [release] { release.wait(); });
    }
    DispatchQueue::global(QoS::Utility).async(group, [release] {
        for (int i = 0; i < kBlocked; ++i)
            release.signal();
    });
    EXPECT_TRUE(group.wait(dispatchtest::kPatience));
}

TEST(ConcurrentQueueDeathTest, SyncBarrierFromInsideTheQueueAborts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    DispatchQueue queue = DispatchQueue::concurrent("test.barrier-self");
    EXPECT_DEATH(queue.sync([&] { queue.syncBarrier([] {}); }),
                 "syncBarrier onto concurrent queue 'test.barrier-self'");
}
