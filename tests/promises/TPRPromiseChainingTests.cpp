// then, catch, always, recover, validate, do and async.
#include "PromiseTestSupport.h"

#include <algorithm>
#include <thread>

using namespace promisetest;
using plat::Object;

namespace {
class TPRPromiseChainingTest : public PromiseTest {};
} // namespace

TEST_F(TPRPromiseChainingTest, ThenRunsOnlyOnFulfilmentAndMapsResults) {
    int calls = 0;
    auto failed = TPRPromise::resolvedWith(testError(3));
    auto skipped = failed->then([&](const Object& v) {
        ++calls;
        return v;
    });
    auto toError =
        TPRPromise::resolvedWith(Object(1))->then([](const Object&) -> TPRValue { return testError(4); });
    auto toNone = TPRPromise::resolvedWith(Object(1))->then([](const Object&) -> TPRValue { return {}; });
    auto doubled =
        TPRPromise::resolvedWith(Object(21))->then([](const Object& v) { return intValue(v) * 2; });
    ASSERT_TRUE(settle(skipped) && settle(toError) && settle(toNone) && settle(doubled));
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(skipped->error()->code, 3);
    EXPECT_EQ(toError->error()->code, 4);
    EXPECT_TRUE(toNone->isFulfilled());
    EXPECT_TRUE(toNone->value().isAbsent());
    EXPECT_EQ(intValue(doubled->value()), 42);
}

TEST_F(TPRPromiseChainingTest, CatchAndAlwaysObserveWithoutChangingTheOutcome) {
    std::vector<std::string> calls;
    auto fulfilled = TPRPromise::resolvedWith(Object("v"));
    auto rejected = TPRPromise::resolvedWith(testError(6));
    auto caughtValue = fulfilled->catch_([&](const plat::Error&) { calls.push_back("catch-on-value"); });
    auto caughtError =
        rejected->catch_([&](const plat::Error& e) { calls.push_back("catch " + std::to_string(e.code)); });
    ASSERT_TRUE(settle(caughtValue) && settle(caughtError));
    EXPECT_EQ(caughtValue->value(), Object("v"));
    EXPECT_EQ(caughtError->error()->code, 6);
    EXPECT_EQ(calls, (std::vector<std::string>{"catch 6"}));

    // always settles only after its work returned, for either outcome.
    auto pending = TPRPromise::pendingPromise();
    TPRPromise::Ptr afterValue;
    afterValue =
        pending->always([&] { calls.push_back(afterValue->isPending() ? "always" : "settled-early"); });
    auto afterError = rejected->always([&] { calls.push_back("always"); });
    pending->fulfill(Object(5));
    ASSERT_TRUE(settle(afterValue) && settle(afterError));
    EXPECT_EQ(intValue(afterValue->value()), 5);
    EXPECT_EQ(afterError->error()->code, 6);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "always"), 2);
}

TEST_F(TPRPromiseChainingTest, RecoverFollowsAPendingRecoveryPromise) {
    auto later = TPRPromise::pendingPromise();
    auto recovered =
        TPRPromise::resolvedWith(testError())->recover([&](const plat::Error&) -> TPRValue { return later; });
    auto untouched =
        TPRPromise::resolvedWith(Object(1))->recover([](const plat::Error&) -> TPRValue { return 2; });
    auto stillFailing = TPRPromise::resolvedWith(testError(1))->recover([](const plat::Error&) -> TPRValue {
        return testError(2);
    });
    ASSERT_TRUE(settle(untouched) && settle(stillFailing));
    plat::RunLoop::main().drain();
    EXPECT_TRUE(recovered->isPending());
    later->fulfill(Object("late"));
    ASSERT_TRUE(settle(recovered));
    EXPECT_EQ(recovered->value(), Object("late"));
    EXPECT_EQ(intValue(untouched->value()), 1);
    EXPECT_EQ(stillFailing->error()->code, 2);
}

TEST_F(TPRPromiseChainingTest, ValidateRejectsWithTheLibraryValidationError) {
    int predicateCalls = 0;
    auto refused =
        TPRPromise::resolvedWith(Object(1))->validate([&](const Object&) { return ++predicateCalls, false; });
    auto accepted =
        TPRPromise::resolvedWith(Object(2))->validate([&](const Object&) { return ++predicateCalls, true; });
    auto skipped = TPRPromise::resolvedWith(testError(9))->validate([&](const Object&) {
        return ++predicateCalls, true;
    });
    ASSERT_TRUE(settle(refused) && settle(accepted) && settle(skipped));
    EXPECT_EQ(refused->error()->domain, "com.tessera.TPRPromises.Error");
    EXPECT_EQ(refused->error()->code, 2);
    EXPECT_TRUE(refused->error()->userInfo.empty());
    EXPECT_EQ(intValue(accepted->value()), 2);
    EXPECT_EQ(skipped->error()->code, 9);
    EXPECT_EQ(predicateCalls, 2);
}

TEST_F(TPRPromiseChainingTest, DoRunsOnALaterTurnAndFollowsReturnedPromises) {
    bool ran = false;
    auto work = TPRPromise::do_([&]() -> TPRValue {
        ran = true;
        return TPRPromise::resolvedWith(testError(11));
    });
    EXPECT_FALSE(ran);
    EXPECT_TRUE(work->isPending());
    ASSERT_TRUE(settle(work));
    EXPECT_EQ(work->error()->code, 11);

    auto queue = plat::DispatchQueue::serial("do.queue");
    auto onQueue = TPRPromise::do_(queue, [&]() -> TPRValue { return queue.isCurrent(); });
    EXPECT_EQ(TPRPromiseAwait(onQueue), Object(true));
}

TEST_F(TPRPromiseChainingTest, AsyncKeepsTheFirstReportedOutcome) {
    auto twice = TPRPromise::async([](TPRAsyncFulfillBlock fulfill, TPRRejectBlock reject) {
        fulfill(Object(1));
        fulfill(Object(2));
        reject(testError());
    });
    auto errorAsValue = TPRPromise::async([](TPRAsyncFulfillBlock fulfill, TPRRejectBlock) {
        fulfill(testError(12)); // an error handed to the fulfil block rejects
    });
    auto fromThread = TPRPromise::async([](TPRAsyncFulfillBlock fulfill, TPRRejectBlock reject) {
        std::thread([fulfill, reject] {
            reject(testError(13));
            fulfill(Object(3));
        }).detach();
    });
    EXPECT_TRUE(twice->isPending()) << "the async work runs on a later turn";
    ASSERT_TRUE(settle(twice) && settle(errorAsValue) && settle(fromThread));
    EXPECT_EQ(intValue(twice->value()), 1);
    EXPECT_EQ(errorAsValue->error()->code, 12);
    EXPECT_EQ(fromThread->error()->code, 13);
}
