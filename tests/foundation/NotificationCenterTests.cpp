#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/NotificationCenter.h"
#include "tests/support/ThreadState.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

using namespace plat;

namespace {

Object opaqueSender(int v) {
    return Object(Opaque::make(std::make_shared<const int>(v), "int"));
}

} // namespace

TEST(NotificationCenter, MatchesByNameAndSenderInRegistrationOrder) {
    NotificationCenter center;
    const Object senderA = opaqueSender(1);
    const Object senderB = opaqueSender(1); // equal contents, different identity
    std::vector<std::string> calls;
    auto record = [&](std::string tag) {
        return [&calls, tag](const Notification& n) { calls.push_back(tag + ":" + n.name); };
    };
    auto t1 = center.addObserver("Changed", {}, record("any-sender"));
    auto t2 = center.addObserver("Changed", senderA, record("from-A"));
    auto t3 = center.addObserver("", {}, record("every-name"));
    auto t4 = center.addObserver("Changed", Object("vpn"), record("from-string"));
    auto t5 = center.addObserver("Other", {}, record("other"));

    struct Case {
        std::string name;
        Object sender;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"Changed", {}, {"any-sender:Changed", "every-name:Changed"}},
        {"Changed", senderA, {"any-sender:Changed", "from-A:Changed", "every-name:Changed"}},
        {"Changed", senderB, {"any-sender:Changed", "every-name:Changed"}},
        {"Changed", Object("vpn"), {"any-sender:Changed", "every-name:Changed", "from-string:Changed"}},
        {"Other", senderA, {"every-name:Other", "other:Other"}},
        {"Unknown", {}, {"every-name:Unknown"}},
    };
    for (const auto& c : cases) {
        calls.clear();
        center.post(c.name, c.sender);
        EXPECT_EQ(calls, c.expected) << c.name << " " << c.sender.debugDescription();
    }
}

TEST(NotificationCenter, CarriesSenderAndUserInfo) {
    NotificationCenter center;
    Notification seen;
    auto token = center.addObserver("N", {}, [&](const Notification& n) { seen = n; });
    center.post("N", Object(7), {{"key", Object("value")}});
    EXPECT_EQ(seen.name, "N");
    EXPECT_EQ(seen.object, Object(7));
    EXPECT_EQ(seen.userInfo.at("key"), Object("value"));
}

TEST(NotificationCenter, ObserverRemovedDuringDeliveryIsNotCalled) {
    NotificationCenter center;
    int secondCalls = 0, addedCalls = 0;
    NotificationCenter::Token second, added;
    auto first = center.addObserver("N", {}, [&](const Notification&) {
        second.reset();
        // Observers added mid-delivery wait for the next post.
        if (!added) added = center.addObserver("N", {}, [&](const Notification&) { ++addedCalls; });
    });
    second = center.addObserver("N", {}, [&](const Notification&) { ++secondCalls; });
    center.post("N");
    EXPECT_EQ(secondCalls, 0);
    EXPECT_EQ(addedCalls, 0);
    center.post("N");
    EXPECT_EQ(addedCalls, 1);
}

TEST(NotificationCenter, TokenDestroyedInsideItsOwnCallback) {
    NotificationCenter center;
    int calls = 0;
    NotificationCenter::Token token;
    // The block owns state that dies with it; touching it after the reset must still be valid.
    auto owned = std::make_shared<std::string>("alive");
    token = center.addObserver("N", {}, [&calls, &token, owned](const Notification&) {
        ++calls;
        token.reset();
        EXPECT_EQ(*owned, "alive");
    });
    owned.reset();
    center.post("N");
    center.post("N");
    EXPECT_EQ(calls, 1);
}

TEST(NotificationCenter, RemovalWaitsForCallsOnOtherThreads) {
    NotificationCenter center;
    std::promise<void> entered, release;
    auto releaseFuture = release.get_future().share();
    auto flag = std::make_unique<std::atomic<int>>(0);
    auto* raw = flag.get();
    auto token = center.addObserver("N", {}, [&, raw](const Notification&) {
        entered.set_value();
        releaseFuture.wait();
        raw->store(1); // would be a use after free if removal did not wait
    });
    std::thread poster([&] { center.post("N"); });
    entered.get_future().wait();
    std::atomic<bool> removed{false};
    std::atomic<pid_t> removing{0};
    std::thread remover([&] {
        removing = gettid();
        token.reset();
        removed = true;
    });
    // The removal has come to the block in flight and waits for it.
    EXPECT_TRUE(testsupport::waitUntil([&] { return removing.load() != 0; }) &&
                testsupport::waitUntilBlockedOnALock(removing.load()));
    EXPECT_FALSE(removed.load());
    release.set_value();
    remover.join();
    EXPECT_EQ(flag->load(), 1);
    flag.reset();
    poster.join();
    center.post("N"); // no longer observed
}

TEST(NotificationCenter, ConcurrentPostsAndRegistrations) {
    NotificationCenter center;
    std::atomic<int> stableCalls{0};
    auto stable = center.addObserver("N", {}, [&](const Notification&) { ++stableCalls; });
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i)
                center.post("N");
        });
    threads.emplace_back([&] {
        while (!stop) {
            auto counter = std::make_shared<int>(0);
            auto token = center.addObserver("N", {}, [counter](const Notification&) { ++*counter; });
        }
    });
    for (int t = 0; t < 3; ++t)
        threads[t].join();
    stop = true;
    threads.back().join();
    EXPECT_EQ(stableCalls.load(), 600);
}

TEST(NotificationCenter, QueueDeliveryIsAsynchronousAndDroppedAfterRemoval) {
    NotificationCenter center;
    auto& loop = RunLoop::main();
    loop.drain();

    std::vector<std::string> seen;
    auto token = center.addObserver("N", {}, DispatchQueue::main(), [&](const Notification& n) {
        EXPECT_TRUE(isMainThread());
        seen.push_back(n.userInfo.at("i").string());
    });
    std::thread([&] { center.post("N", {}, {{"i", Object("from-thread")}}); }).join();
    center.post("N", {}, {{"i", Object("from-main")}});
    EXPECT_TRUE(seen.empty()); // nothing runs before the main queue turns
    loop.drain();
    EXPECT_EQ(seen, (std::vector<std::string>{"from-thread", "from-main"}));

    center.post("N", {}, {{"i", Object("late")}});
    token.reset();
    loop.drain();
    EXPECT_EQ(seen.size(), 2u);

    // A private serial queue runs the block on that queue.
    DispatchQueue queue("io.velmora.tests.notifications");
    std::promise<bool> onQueue;
    auto queued = center.addObserver("Q", {}, queue,
                                     [&](const Notification&) { onQueue.set_value(queue.isCurrent()); });
    center.post("Q");
    auto future = onQueue.get_future();
    ASSERT_EQ(future.wait_for(testsupport::kPatience), std::future_status::ready);
    EXPECT_TRUE(future.get());
}
