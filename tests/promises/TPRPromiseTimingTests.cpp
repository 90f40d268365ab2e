// delay, timeout and retry under the manual clock; await and waiting for the library to be idle.
#include "PromiseTestSupport.h"

#include <cmath>
#include <limits>
#include <thread>

using namespace promisetest;
using plat::Object;

namespace {

class TPRPromiseTimingTest : public PromiseTest {
protected:
    // Moves the manual clock and runs what it posted to the main queue.
    void advance(double seconds) {
        scheduler.advanceSeconds(seconds);
        plat::RunLoop::main().drain();
    }
    plat::ManualScheduler scheduler;
    plat::DispatchQueue main = plat::mainQueue();
};

} // namespace

TEST_F(TPRPromiseTimingTest, DelayPostponesFulfilmentButNotRejection) {
    auto delayed = TPRPromise::resolvedWith(Object(1))->delay(main, 0.5, scheduler);
    plat::RunLoop::main().drain(); // the receiver's fulfilment is observed now; the 0.5 s start here
    advance(0.499);
    EXPECT_TRUE(delayed->isPending());
    advance(0.001);
    EXPECT_EQ(delayed->value(), Object(1));

    auto rejected = TPRPromise::resolvedWith(testError(3))->delay(main, 0.5, scheduler);
    plat::RunLoop::main().drain();
    EXPECT_EQ(rejected->error()->code, 3) << "a rejection passes without delay";
}

TEST_F(TPRPromiseTimingTest, TimeoutRejectsLatePromisesOnly) {
    auto never = TPRPromise::pendingPromise();
    auto limited = never->timeout(main, 1.0, scheduler);
    advance(0.999);
    EXPECT_TRUE(limited->isPending());
    advance(0.001);
    ASSERT_TRUE(limited->isRejected());
    EXPECT_EQ(limited->error()->domain, "com.tessera.TPRPromises.Error");
    EXPECT_EQ(limited->error()->code, 1);
    never.reset();

    auto prompt = TPRPromise::pendingPromise();
    auto inTime = prompt->timeout(main, 1.0, scheduler);
    advance(0.2);
    prompt->fulfill(Object("ok"));
    plat::RunLoop::main().drain();
    advance(1.0);
    EXPECT_EQ(inTime->value(), Object("ok"));

    // The timer does not keep its result alive.
    auto abandoned = TPRPromise::pendingPromise();
    std::weak_ptr<TPRPromise> result = abandoned->timeout(main, 1.0, scheduler);
    abandoned.reset();
    EXPECT_TRUE(result.expired());
    advance(2.0);
}

TEST_F(TPRPromiseTimingTest, IntervalsThatAreNotFiniteOrTooLargeAreClamped) {
    auto nanDelay = TPRPromise::resolvedWith(Object(1))->delay(main, std::nan(""), scheduler);
    auto negative = TPRPromise::resolvedWith(Object(2))->delay(main, -5, scheduler);
    plat::RunLoop::main().drain();
    advance(0);
    EXPECT_TRUE(nanDelay->isFulfilled()) << "NaN counts as no delay";
    EXPECT_TRUE(negative->isFulfilled());

    auto source = TPRPromise::pendingPromise();
    auto infinite = source->timeout(main, std::numeric_limits<double>::infinity(), scheduler);
    auto huge = source->timeout(main, 1e300, scheduler);
    advance(365.0 * 24 * 3600);
    EXPECT_TRUE(infinite->isPending());
    EXPECT_TRUE(huge->isPending());
    source->fulfill(Object());
    plat::RunLoop::main().drain();
    EXPECT_TRUE(infinite->isFulfilled() && huge->isFulfilled());
}

TEST_F(TPRPromiseTimingTest, RetryRunsTheWorkAtMostAttemptsPlusOneTimes) {
    int runs = 0;
    auto failing = TPRPromise::retry(
        main, 1, 1.0, nullptr, [&]() -> TPRValue { return testError(++runs); }, scheduler);
    EXPECT_EQ(runs, 1) << "the first run happens during the call";
    advance(0.999);
    EXPECT_EQ(runs, 1);
    advance(0.001);
    EXPECT_EQ(runs, 2);
    advance(10);
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(failing->error()->code, 2) << "the last run's error";

    std::vector<int64_t> seen;
    runs = 0;
    auto exhausted = TPRPromise::retry(
        main, 3, 0.1, [&](int64_t remaining, const plat::Error&) { return seen.push_back(remaining), true; },
        [&]() -> TPRValue { return TPRPromise::resolvedWith(testError(++runs)); }, scheduler);
    for (int i = 0; i < 10; ++i)
        advance(0.1);
    EXPECT_EQ(runs, 4);
    EXPECT_EQ(seen, (std::vector<int64_t>{3, 2, 1}));
    EXPECT_EQ(exhausted->error()->code, 4);

    for (int64_t attempts : {int64_t{0}, int64_t{-3}}) {
        runs = 0;
        auto once = TPRPromise::retry(
            main, attempts, 0.1, nullptr, [&]() -> TPRValue { return testError(++runs); }, scheduler);
        advance(1);
        EXPECT_EQ(runs, 1) << attempts;
        EXPECT_TRUE(once->isRejected());
    }
}

TEST_F(TPRPromiseTimingTest, RetryStopsOnSuccessOrWhenTheConditionRefuses) {
    std::vector<int64_t> seen;
    int runs = 0;
    auto third = TPRPromise::retry(
        main, 3, 1.0, [&](int64_t remaining, const plat::Error&) { return seen.push_back(remaining), true; },
        [&]() -> TPRValue {
            if (++runs < 3) return testError(runs);
            return Object("third");
        },
        scheduler);
    advance(1);
    advance(1);
    EXPECT_EQ(third->value(), Object("third"));
    EXPECT_EQ(seen, (std::vector<int64_t>{3, 2}));

    runs = 0;
    auto refused = TPRPromise::retry(
        main, 5, 1.0, [](int64_t, const plat::Error&) { return false; },
        [&]() -> TPRValue { return testError(++runs); }, scheduler);
    advance(10);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(refused->error()->code, 1);

    auto immediate = TPRPromise::retry(
        main, 2, 1.0, nullptr, [] { return TPRValue(7); }, scheduler);
    EXPECT_EQ(intValue(immediate->value()), 7) << "a plain value settles before retry returns";
}

TEST_F(TPRPromiseTimingTest, AwaitBlocksUntilSettled) {
    std::optional<plat::Error> error;
    EXPECT_TRUE(TPRPromiseAwait(TPRPromise::resolvedWith(testError(4)), &error).isAbsent());
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, 4);

    EXPECT_TRUE(TPRPromiseAwait(TPRPromise::resolvedWith(Object()), &error).isAbsent());
    EXPECT_FALSE(error.has_value()) << "fulfilled with none stores no error";

    auto fromThread = TPRPromise::pendingPromise();
    std::thread settler([fromThread] { fromThread->fulfill(Object("t")); });
    EXPECT_EQ(TPRPromiseAwait(fromThread), Object("t")) << "awaiting on the main thread";
    settler.join();
}

TEST_F(TPRPromiseTimingTest, WaitingForPromisesPumpsTheMainQueueAndGivesUpAtTheTimeout) {
    EXPECT_TRUE(TPRWaitForPromisesWithTimeout(1));
    bool ran = false;
    auto chained = TPRPromise::resolvedWith(Object(1))->then([&](const Object& v) {
        ran = true;
        return v;
    });
    EXPECT_TRUE(TPRWaitForPromisesWithTimeout(5));
    EXPECT_TRUE(ran) << "main-queue work ran while waiting";

    auto never = TPRPromise::pendingPromise();
    EXPECT_FALSE(TPRWaitForPromisesWithTimeout(0.05));
    EXPECT_FALSE(TPRWaitForPromisesWithTimeout(std::nan("")));
    never.reset();
    EXPECT_TRUE(TPRWaitForPromisesWithTimeout(1));
}
