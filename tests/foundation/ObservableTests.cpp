#include "platform/foundation/Binding.h"
#include "platform/foundation/Cancellable.h"
#include "platform/foundation/ObservableObject.h"
#include "platform/foundation/Published.h"
#include "platform/foundation/Subject.h"
#include "tests/support/ThreadState.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace plat;

namespace {

struct Counter : ObservableObject {
    Published<int> count{this, 0};
    Published<std::string> name{this, "a"};
};

TEST(PublishedValue, NewSubscriberReceivesCurrentValueAtOnceThenEveryAssignment) {
    Published<int> value(7);
    value = 8;
    std::vector<int> seen;
    auto sub = value.sink([&](const int& v) { seen.push_back(v); });
    EXPECT_EQ(seen, std::vector<int>{8});
    value = 9;
    value.set(9); // equal value still notifies
    EXPECT_EQ(seen, (std::vector<int>{8, 9, 9}));
    EXPECT_EQ(value.get(), 9);
    EXPECT_EQ(value(), 9);
    int implicitRead = value;
    EXPECT_EQ(implicitRead, 9);
}

TEST(PublishedValue, SubscribersSeeTheStoredValueWhenCalled) {
    Published<std::string> value("old");
    std::vector<std::string> readInside;
    auto sub = value.sink([&](const std::string&) { readInside.push_back(value.get()); });
    value = "new";
    EXPECT_EQ(readInside, (std::vector<std::string>{"old", "new"}));
}

TEST(CurrentValueSubjectTest, ReplaysCurrentValueAndNotifiesEqualValues) {
    CurrentValueSubject<std::string> subject("x");
    subject.send("y");
    std::vector<std::string> seen;
    auto sub = subject.sink([&](const std::string& v) { seen.push_back(v); });
    subject.send("y");
    EXPECT_EQ(seen, (std::vector<std::string>{"y", "y"}));
    EXPECT_EQ(subject.value(), "y");
}

TEST(PassthroughSubjectTest, DeliversOnlyWhatIsSentAfterSubscribing) {
    PassthroughSubject<int> subject;
    subject.send(1);
    std::vector<int> seen;
    auto sub = subject.sink([&](const int& v) { seen.push_back(v); });
    EXPECT_TRUE(seen.empty());
    subject.send(2);
    subject.send(2);
    EXPECT_EQ(seen, (std::vector<int>{2, 2}));

    PassthroughSubject<void> signal;
    int fired = 0;
    auto sub2 = signal.sink([&] { ++fired; });
    signal.send();
    signal.send();
    EXPECT_EQ(fired, 2);
}

TEST(ObservableObjectTest, WillChangeFiresBeforeTheValueIsStored) {
    Counter counter;
    std::vector<std::string> events;
    auto will = counter.objectWillChange().sink(
        [&] { events.push_back("will:" + std::to_string(counter.count.get())); });
    auto did = counter.count.sink([&](const int& v) { events.push_back("did:" + std::to_string(v)); });
    events.clear();
    counter.count = 1;
    counter.count = 1;
    counter.name = "b"; // every published member announces through the same owner
    EXPECT_EQ(events, (std::vector<std::string>{"will:0", "did:1", "will:1", "did:1", "will:1"}));
}

TEST(PublishedValue, WillChangeHookWithoutOwner) {
    std::vector<int> seenByHook;
    Published<int>* self = nullptr;
    Published<int> value([&] { seenByHook.push_back(self->get()); }, 3);
    self = &value;
    value = 4;
    value = 5;
    EXPECT_EQ(seenByHook, (std::vector<int>{3, 4}));
}

TEST(SubscriptionCancel, CancellingInsideOwnCallbackStopsOnlyThatSubscriber) {
    PassthroughSubject<int> subject;
    std::vector<int> first, second;
    AnyCancellable a = subject.sink([&](const int& v) {
        first.push_back(v);
        if (v == 2) a.cancel();
    });
    // Destroying the handle (not just cancelling) inside the callback must be just as safe.
    std::optional<AnyCancellable> b;
    b = subject.sink([&](const int& v) {
        second.push_back(v);
        if (v == 3) b.reset();
    });
    for (int v : {1, 2, 3, 4})
        subject.send(v);
    EXPECT_EQ(first, (std::vector<int>{1, 2}));
    EXPECT_EQ(second, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(subject.subscriberCount(), 0u);
}

TEST(SubscriptionCancel, SubscriberRemovedDuringDeliveryIsNotCalled) {
    Published<int> value(0);
    std::vector<std::string> calls;
    AnyCancellable later;
    auto earlier = value.sink([&](const int& v) {
        calls.push_back("earlier");
        if (v == 1) later.cancel();
    });
    later = value.sink([&](const int&) { calls.push_back("later"); });
    calls.clear();
    value = 1;
    value = 2;
    EXPECT_EQ(calls, (std::vector<std::string>{"earlier", "earlier"}));
}

TEST(SubscriptionCancel, SubscriberAddedDuringDeliveryGetsOnlyItsFirstValueFromIt) {
    Published<int> value(0);
    std::vector<int> added;
    std::vector<AnyCancellable> bag;
    auto adder = value.sink([&](const int& v) {
        if (v == 1) value.sink([&](const int& w) { added.push_back(w); }).store(bag);
    });
    value = 1;
    EXPECT_EQ(added, std::vector<int>{1}); // its first value, not a second copy of this delivery
    value = 2;
    EXPECT_EQ(added, (std::vector<int>{1, 2}));
}

TEST(SubscriptionCancel, HandleLifetimeDecidesDelivery) {
    PassthroughSubject<int> subject;
    int calls = 0;
    {
        auto sub = subject.sink([&](const int&) { ++calls; });
        subject.send(1);
    }
    subject.send(2);
    EXPECT_EQ(calls, 1);

    // A moved-from handle owns nothing; the moved-to one keeps the subscription.
    auto original = subject.sink([&](const int&) { ++calls; });
    AnyCancellable moved(std::move(original));
    original.cancel();
    subject.send(3);
    EXPECT_EQ(calls, 2);
    EXPECT_TRUE(moved.isActive());

    // Assigning over a live handle ends the subscription it held.
    int other = 0;
    moved = subject.sink([&](const int&) { ++other; });
    subject.send(4);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(other, 1);

    std::vector<AnyCancellable> bag;
    subject.sink([&](const int&) { ++other; }).store(bag);
    subject.send(5);
    EXPECT_EQ(other, 3);
    bag.clear();
    subject.send(6);
    EXPECT_EQ(other, 4);
}

TEST(SubscriptionCancel, CancelReleasesTheCallbackAndItsCaptures) {
    auto captured = std::make_shared<int>(0);
    CurrentValueSubject<int> subject(0);
    auto sub = subject.sink([captured](const int&) {});
    EXPECT_EQ(captured.use_count(), 2);
    sub.cancel();
    EXPECT_EQ(captured.use_count(), 1);
    EXPECT_EQ(subject.subscriberCount(), 0u);
}

TEST(SubscriptionCancel, HandleOutlivingItsSubjectIsHarmless) {
    AnyCancellable sub;
    auto captured = std::make_shared<int>(0);
    {
        Published<int> value(1);
        sub = value.sink([captured](const int&) {});
    }
    EXPECT_EQ(captured.use_count(), 1); // the subject released its subscribers
    sub.cancel();
    EXPECT_FALSE(sub.isActive());
}

TEST(PublishedValue, AssignmentFromInsideACallbackIsDelivered) {
    Published<int> value(0);
    std::vector<int> seen;
    auto clamp = value.sink([&](const int& v) {
        if (v > 10) value = 10;
    });
    auto watch = value.sink([&](const int& v) { seen.push_back(v); });
    value = 42;
    EXPECT_EQ(value.get(), 10);
    EXPECT_EQ(seen.front(), 0);
    EXPECT_NE(std::find(seen.begin(), seen.end(), 10), seen.end());
}

struct Region {
    int id = 0;
    std::string name;
};

TEST(BindingTest, ReadsAndWritesThroughItsTarget) {
    auto fixed = Binding<int>::constant(5);
    fixed.set(6);
    EXPECT_EQ(fixed.get(), 5);

    Counter counter;
    int willChange = 0;
    auto will = counter.objectWillChange().sink([&] { ++willChange; });
    auto binding = Binding<int>::to(counter.count);
    binding.set(3);
    EXPECT_EQ(counter.count.get(), 3);
    EXPECT_EQ(binding(), 3);
    EXPECT_EQ(willChange, 1);

    Published<Region> region(Region{1, "Spain"});
    std::vector<std::string> names;
    auto sub = region.sink([&](const Region& r) { names.push_back(r.name); });
    auto name = Binding<Region>::to(region).member(&Region::name);
    EXPECT_EQ(name.get(), "Spain");
    name.set("Chile");
    EXPECT_EQ(region.get().name, "Chile");
    EXPECT_EQ(region.get().id, 1); // the other fields are kept
    EXPECT_EQ(names, (std::vector<std::string>{"Spain", "Chile"}));
}

TEST(ObservableConcurrency, CancelFromAnotherThreadWaitsForARunningCallback) {
    PassthroughSubject<int> subject;
    std::atomic<bool> inside{false}, release{false}, finished{false};
    auto sub = subject.sink([&](const int&) {
        inside = true;
        while (!release)
            std::this_thread::yield();
        finished = true;
    });
    std::thread sender([&] { subject.send(1); });
    while (!inside)
        std::this_thread::yield();
    std::atomic<bool> finishedWhenCancelReturned{false};
    std::atomic<pid_t> cancelling{0};
    std::thread canceller([&] {
        cancelling = gettid();
        sub.cancel();
        finishedWhenCancelReturned = finished.load();
    });
    // The callback is released only once the cancel waits for it.
    EXPECT_TRUE(testsupport::waitUntil([&] { return cancelling.load() != 0; }) &&
                testsupport::waitUntilBlockedOnALock(cancelling.load()));
    release = true;
    canceller.join();
    sender.join();
    EXPECT_TRUE(finishedWhenCancelReturned);
}

// The owner cancels (or destroys) the handle while the callback, on another thread, has just cancelled
// it itself: the owner's call must still wait until that callback is over.
TEST(ObservableConcurrency, SecondCancelWaitsForACallbackThatCancelledItself) {
    PassthroughSubject<int> subject;
    std::atomic<bool> cancelledInside{false}, release{false}, finished{false};
    AnyCancellable sub;
    sub = subject.sink([&](const int&) {
        sub.cancel();
        cancelledInside = true;
        while (!release)
            std::this_thread::yield();
        finished = true;
    });
    std::thread sender([&] { subject.send(1); });
    while (!cancelledInside)
        std::this_thread::yield();
    const pid_t owner = gettid();
    std::thread releaser([&] {
        // The callback is released only once the owner's cancel waits for it.
        EXPECT_TRUE(testsupport::waitUntilBlockedOnALock(owner));
        release = true;
    });
    sub.cancel();
    EXPECT_TRUE(finished);
    releaser.join();
    sender.join();
}

// Subscribing, cancelling and sending at once from several threads: run under ThreadSanitizer too.
// A subscriber must never be called after its cancel() returned.
TEST(ObservableConcurrency, SubscribeCancelSendStress) {
    Published<int> value(0);
    PassthroughSubject<int> subject;
    std::atomic<bool> stop{false};
    std::atomic<int> lateCalls{0};
    std::atomic<long> delivered{0};

    auto churn = [&](auto& source) {
        for (int i = 0; i < 400; ++i) {
            auto cancelled = std::make_shared<std::atomic<bool>>(false);
            auto sub = source.sink([&, cancelled](const int&) {
                if (*cancelled) ++lateCalls;
                ++delivered;
            });
            std::this_thread::yield();
            sub.cancel();
            *cancelled = true;
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t)
        threads.emplace_back([&] { churn(value); });
    for (int t = 0; t < 3; ++t)
        threads.emplace_back([&] { churn(subject); });
    std::thread sender([&] {
        for (int i = 0; !stop; ++i) {
            value = i;
            subject.send(i);
        }
    });
    // Subscribers that cancel themselves from inside their callback while others send.
    std::thread selfCancel([&] {
        for (int i = 0; i < 200 && !stop; ++i) {
            std::atomic<bool> ready{false}, done{false};
            AnyCancellable sub; // after the flags: its destruction waits for a callback that uses them
            sub = subject.sink([&](const int&) {
                if (!ready) return; // the handle is not assigned yet
                sub.cancel();
                done = true;
            });
            ready = true;
            while (!done && !stop)
                std::this_thread::yield();
        }
    });
    for (auto& t : threads)
        t.join();
    stop = true;
    sender.join();
    selfCancel.join();

    EXPECT_EQ(lateCalls.load(), 0);
    EXPECT_GE(delivered.load(), 1200); // every Published subscriber got at least its first value
    EXPECT_EQ(value.subscriberCount(), 0u);
    EXPECT_EQ(subject.subscriberCount(), 0u);
}

} // namespace
