// The core promise: settling once, group accounting, observer scheduling and ordering, chaining,
// pending objects and the lock discipline.
#include "PromiseTestSupport.h"

#include <atomic>
#include <future>
#include <thread>

using namespace promisetest;
using plat::Object;

namespace {

class TPRPromiseCoreTest : public PromiseTest {};

long groupCount() {
    return TPRPromise::outstandingWork();
}

} // namespace

TEST_F(TPRPromiseCoreTest, SettlesOnceAndKeepsTheFirstOutcome) {
    auto rejected = TPRPromise::pendingPromise();
    rejected->fulfill(TPRErrorObject(testError(7))); // an error handed to fulfil rejects
    EXPECT_TRUE(rejected->isRejected());
    EXPECT_TRUE(rejected->value().isAbsent());
    EXPECT_EQ(rejected->error()->code, 7);
    rejected->fulfill(Object(1));
    rejected->reject(testError(8));
    EXPECT_EQ(rejected->error()->code, 7);

    auto none = TPRPromise::pendingPromise();
    none->fulfill(Object());
    EXPECT_TRUE(none->isFulfilled());
    EXPECT_TRUE(none->value().isAbsent());
    EXPECT_FALSE(none->error().has_value());

    auto direct = TPRPromise::pendingPromise();
    direct->fulfill(testError(9)); // the plat::Error overload of fulfil rejects too
    EXPECT_TRUE(direct->isRejected());
}

TEST_F(TPRPromiseCoreTest, CountsPendingPromisesInTheGroupExactlyOnce) {
    const long before = groupCount();
    auto settled = TPRPromise::resolvedWith(testError());
    EXPECT_TRUE(settled->isRejected());
    EXPECT_EQ(groupCount(), before) << "a promise created settled never enters the group";

    const plat::DispatchGroup& group = TPRPromise::dispatchGroup();
    EXPECT_TRUE(group.wait(plat::Duration::zero())) << "idle library, empty group";
    auto promise = TPRPromise::pendingPromise();
    EXPECT_EQ(groupCount(), before + 1);
    EXPECT_FALSE(group.wait(plat::Duration::zero())) << "a pending promise keeps the group busy";
    int runs = 0;
    promise->observeOnQueue(
        plat::mainQueue(), [&](const Object&) { ++runs; }, [&](const plat::Error&) { ++runs; });
    promise->fulfill(Object(1));
    EXPECT_EQ(groupCount(), before + 1) << "the promise left, its observer task entered";
    promise->fulfill(Object(2));
    promise->reject(testError());
    plat::RunLoop::main().drain();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(groupCount(), before) << "a second resolution must not leave the group again";
    EXPECT_TRUE(group.wait(plat::Duration::zero()));

    auto abandoned = TPRPromise::pendingPromise();
    abandoned->observeOnQueue(
        plat::mainQueue(), [&](const Object&) { ++runs; }, [&](const plat::Error&) { ++runs; });
    EXPECT_EQ(groupCount(), before + 1);
    abandoned.reset();
    EXPECT_EQ(groupCount(), before) << "a promise dropped while pending leaves on destruction";
    plat::RunLoop::main().drain();
    EXPECT_EQ(runs, 1) << "observers of an abandoned promise never run";
}

TEST_F(TPRPromiseCoreTest, ObserversRunLaterEvenWhenAlreadySettled) {
    auto promise = TPRPromise::resolvedWith(Object("v"));
    bool ran = false;
    promise->observeOnQueue(
        plat::mainQueue(), [&](const Object& v) { ran = v == Object("v"); },
        [](const plat::Error&) { FAIL(); });
    EXPECT_FALSE(ran) << "observer ran during the call";
    plat::RunLoop::main().drain();
    EXPECT_TRUE(ran);

    // On the current serial queue: the block goes after the rest of the running block.
    auto queue = plat::DispatchQueue::serial("observe.current");
    std::vector<std::string> order;
    std::promise<void> done;
    queue.async([&] {
        promise->observeOnQueue(
            queue,
            [&](const Object&) {
                order.push_back("observer");
                done.set_value();
            },
            [](const plat::Error&) {});
        order.push_back("caller");
    });
    done.get_future().wait();
    EXPECT_EQ(order, (std::vector<std::string>{"caller", "observer"}));
}

TEST_F(TPRPromiseCoreTest, ObserversOnTheMainQueueRunInRegistrationOrder) {
    auto promise = TPRPromise::pendingPromise();
    std::vector<int> order;
    for (int i = 0; i < 3; ++i) {
        promise->observeOnQueue(
            plat::mainQueue(), [&, i](const Object&) { order.push_back(i); }, [](const plat::Error&) {});
    }
    plat::RunLoop::main().drain();
    EXPECT_TRUE(order.empty());
    promise->fulfill(Object(1));
    // Registered after settling: still behind the three earlier ones.
    promise->observeOnQueue(
        plat::mainQueue(), [&](const Object&) { order.push_back(3); }, [](const plat::Error&) {});
    plat::RunLoop::main().drain();
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3}));
}

TEST_F(TPRPromiseCoreTest, ChainingFollowsPromisesAndTurnsBlockResultsIntoOutcomes) {
    auto receiver = TPRPromise::pendingPromise();
    auto inner = TPRPromise::pendingPromise();
    auto followed = receiver->chainOnQueue(
        plat::mainQueue(), [&](const Object&) -> TPRValue { return inner; }, nullptr);
    receiver->fulfill(Object(1));
    plat::RunLoop::main().drain();
    EXPECT_TRUE(followed->isPending()) << "a returned pending promise keeps the chained one pending";
    inner->reject(testError(5));
    ASSERT_TRUE(settle(followed));
    EXPECT_EQ(followed->error()->code, 5);

    auto failed = TPRPromise::resolvedWith(testError());
    auto recovered =
        failed->chainOnQueue(plat::mainQueue(), nullptr, [](const plat::Error&) -> TPRValue { return 3; });
    auto toNone =
        failed->chainOnQueue(plat::mainQueue(), nullptr, [](const plat::Error&) -> TPRValue { return {}; });
    auto passed = failed->chainOnQueue(plat::mainQueue(), nullptr, nullptr);
    ASSERT_TRUE(settle(recovered) && settle(toNone) && settle(passed));
    EXPECT_EQ(recovered->value(), Object(3));
    EXPECT_TRUE(toNone->isFulfilled());
    EXPECT_TRUE(toNone->value().isAbsent());
    EXPECT_EQ(passed->error(), testError());
}

TEST_F(TPRPromiseCoreTest, PendingObjectsLiveExactlyWhileThePromiseIsPending) {
    auto promise = TPRPromise::pendingPromise();
    auto kept = std::make_shared<int>(1);
    std::weak_ptr<int> watch = kept;
    promise->addPendingObject(std::move(kept));
    EXPECT_FALSE(watch.expired());
    promise->fulfill(Object());
    EXPECT_TRUE(watch.expired()) << "settling releases pending objects";

    auto late = std::make_shared<int>(2);
    std::weak_ptr<int> lateWatch = late;
    promise->addPendingObject(std::move(late));
    EXPECT_TRUE(lateWatch.expired()) << "a settled promise keeps nothing alive";
}

// What observers and pending objects hold is released after the promise's lock: a destructor that
// reads the same promise must not deadlock, and blocks may resolve and observe their own promise.
TEST_F(TPRPromiseCoreTest, DestructorsAndBlocksRunOutsideThePromiseLock) {
    struct ReadsPromise {
        std::shared_ptr<TPRPromise> promise;
        std::atomic<int>* reads;
        ~ReadsPromise() {
            if (promise && !promise->isPending()) ++*reads;
        }
    };
    std::atomic<int> reads{0};
    auto promise = TPRPromise::pendingPromise();
    auto guard = std::make_shared<ReadsPromise>();
    guard->reads = &reads;
    promise->addPendingObject(guard);
    guard->promise = promise; // a deliberate cycle, broken when the promise settles
    guard.reset();

    auto settled = std::async(std::launch::async, [promise] { promise->fulfill(Object(1)); });
    ASSERT_EQ(settled.wait_for(std::chrono::seconds(5)), std::future_status::ready) << "deadlock on settle";
    EXPECT_EQ(reads.load(), 1);

    auto again = TPRPromise::pendingPromise();
    std::vector<int> seen;
    again->observeOnQueue(
        plat::mainQueue(),
        [&, again](const Object& v) {
            seen.push_back(static_cast<int>(intValue(v)));
            again->fulfill(Object(99));
            again->observeOnQueue(
                plat::mainQueue(), [&](const Object& w) { seen.push_back(static_cast<int>(intValue(w))); },
                [](const plat::Error&) {});
        },
        [](const plat::Error&) {});
    again->fulfill(Object(1));
    plat::RunLoop::main().drain();
    EXPECT_EQ(seen, (std::vector<int>{1, 1}));
}

TEST_F(TPRPromiseCoreTest, DefaultQueueAndDescription) {
    auto queue = plat::DispatchQueue::serial("promises.default");
    TPRPromise::setDefaultDispatchQueue(queue);
    EXPECT_TRUE(TPRPromise::defaultDispatchQueue() == queue);
    std::atomic<bool> onQueue{false};
    auto done = TPRPromise::resolvedWith(Object(1))->then([&](const Object& v) {
        onQueue = queue.isCurrent();
        return v;
    });
    EXPECT_TRUE(TPRWaitForPromisesWithTimeout(5));
    EXPECT_TRUE(onQueue.load());
    TPRPromise::setDefaultDispatchQueue(plat::mainQueue());

    EXPECT_NE(done->description().find("> Fulfilled: 1"), std::string::npos) << done->description();
    EXPECT_EQ(done->description().rfind("<TPRPromise 0x", 0), 0u) << done->description();
    auto rejected = TPRPromise::resolvedWith(plat::Error("d", 3));
    EXPECT_NE(rejected->description().find("> Rejected: Error Domain=d Code=3"), std::string::npos);
    EXPECT_NE(TPRPromise::pendingPromise()->description().find("> Pending"), std::string::npos);
}

TEST_F(TPRPromiseCoreTest, MissingBlocksAreReportedAsBrokenPreconditions) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto promise = TPRPromise::resolvedWith(Object(1));
    EXPECT_DEATH(promise->observeOnQueue(plat::mainQueue(), nullptr, [](const plat::Error&) {}),
                 "Invalid parameter not satisfying: onFulfill");
    EXPECT_DEATH(promise->then(nullptr), "Invalid parameter not satisfying: work");
    EXPECT_DEATH(promise->addPendingObject(nullptr), "Invalid parameter not satisfying: object");
}

// Dropping a long chain that never settled releases it link by link, not by one nested destructor
// call per link, which would overflow the stack.
TEST_F(TPRPromiseCoreTest, DroppingALongPendingChainDoesNotRecurse) {
    const long before = groupCount();
    auto root = TPRPromise::pendingPromise();
    TPRPromise::Ptr last = root;
    for (int i = 0; i < 200'000; ++i)
        last = last->then([](const Object& v) { return v; });
    std::weak_ptr<TPRPromise> tail = last;
    last.reset();
    EXPECT_EQ(groupCount(), before + 200'001);
    root.reset();
    EXPECT_TRUE(tail.expired());
    EXPECT_EQ(groupCount(), before);
}
