// The typed front Promise<Value>: conversions, typed errors, operations and free functions.
#include "PromiseTestSupport.h"

#include "promises/PromiseCombinators.h"
#include "promises/PromiseWrap.h"

using namespace promisetest;
using namespace promises;
using plat::Object;

namespace {

class PromiseFrontTest : public PromiseTest {
protected:
    template <typename T> bool settleTyped(const Promise<T>& p) { return settle(p.asObjCPromise()); }
    plat::DispatchQueue main = plat::mainQueue();
};

} // namespace

TEST_F(PromiseFrontTest, MissingValuesAreNoneButNullStaysNull) {
    Promise<std::optional<int>> none(std::optional<int>{});
    EXPECT_TRUE(none.isFulfilled());
    EXPECT_FALSE(none.value().has_value());
    EXPECT_TRUE(none.asObjCPromise()->value().isAbsent()) << "a missing value reaches the core as none";

    Promise<Object> null(Object::null());
    ASSERT_TRUE(null.value().has_value());
    EXPECT_TRUE(null.value()->isNull()) << "an explicit null is kept";

    Promise<std::vector<std::optional<int>>> list(std::vector<std::optional<int>>{1, std::nullopt});
    EXPECT_EQ(list.value(), (std::vector<std::optional<int>>{1, std::nullopt}));

    Promise<Object> errorValue(TPRErrorObject(testError(5)));
    EXPECT_EQ(errorValue.error()->code, 5) << "a value that is an error rejects";
}

TEST_F(PromiseFrontTest, TypedErrorsAndDescriptions) {
    EXPECT_EQ(promiseError(plat::Error("com.tessera.TPRPromises.Error", 2)), PromiseError::validationFailure);
    EXPECT_EQ(promiseError(plat::Error("com.tessera.TPRPromises.Error", 1)), PromiseError::timedOut);
    EXPECT_FALSE(promiseError(plat::Error("com.tessera.TPRPromises.Error", 3)).has_value());
    EXPECT_FALSE(promiseError(plat::Error("other", 1)).has_value());

    plat::ManualScheduler scheduler;
    Promise<int> pending;
    auto late = pending.timeout(main, 1, scheduler);
    scheduler.advanceSeconds(1);
    ASSERT_TRUE(settleTyped(late));
    EXPECT_EQ(*late.error(), PromiseError::timedOut);
    EXPECT_EQ(late.description(), "Rejected: timedOut");
    EXPECT_EQ(pending.description(), "Pending: int");
    pending.fulfill(3);
    EXPECT_EQ(pending.description(), "Fulfilled: 3");
    EXPECT_EQ(Promise<std::optional<int>>(std::optional<int>{}).description(), "Fulfilled: nil");

    Promise<std::string> rejected;
    rejected.reject(testError(9));
    EXPECT_EQ(rejected.error()->code, 9);
    EXPECT_FALSE(rejected.value().has_value());
    EXPECT_EQ(rejected.description().rfind("Rejected: Error Domain=test.domain Code=9", 0), 0u);
}

TEST_F(PromiseFrontTest, ThenMapsFollowsAndPassesValuesOn) {
    Promise<int> source(20);
    auto mapped = source.then(main, [](int v) { return std::to_string(v + 1); });
    auto followed = source.then(main, [](int v) { return Promise<double>(v / 8.0); });
    int seen = 0;
    auto passed = source.then(main, [&](int v) { seen = v; });
    auto thrown = source.then(main, [](int) -> int { throw testError(7); });
    auto thrownLibrary = source.then(main, [](int) -> int { throw PromiseError::validationFailure; });
    static_assert(std::is_same_v<decltype(mapped), Promise<std::string>>);
    static_assert(std::is_same_v<decltype(followed), Promise<double>>);
    static_assert(std::is_same_v<decltype(passed), Promise<int>>);
    ASSERT_TRUE(settleTyped(mapped) && settleTyped(followed) && settleTyped(passed) && settleTyped(thrown) &&
                settleTyped(thrownLibrary));
    EXPECT_EQ(mapped.value(), "21");
    EXPECT_EQ(followed.value(), 2.5);
    EXPECT_EQ(passed.value(), 20);
    EXPECT_EQ(seen, 20);
    EXPECT_EQ(thrown.error()->code, 7);
    EXPECT_EQ(*thrownLibrary.error(), PromiseError::validationFailure);
}

TEST_F(PromiseFrontTest, CatchRecoverAlwaysAndValidate) {
    Promise<int> failed(testError(3));
    std::vector<std::string> calls;
    auto caught = failed.catch_(
        main, [&](const plat::Error& e) { calls.push_back("catch " + std::to_string(e.code)); });
    auto recovered = failed.recover(main, [](const plat::Error&) { return 5; });
    auto recoveredLater = failed.recover(main, [](const plat::Error& e) { return Promise<int>(e); });
    auto always = failed.always(main, [&] { calls.push_back("always"); });
    auto invalid = Promise<int>(1).validate(main, [](int v) { return v > 1; });
    ASSERT_TRUE(settleTyped(caught) && settleTyped(recovered) && settleTyped(recoveredLater) &&
                settleTyped(always) && settleTyped(invalid));
    EXPECT_EQ(caught.error()->code, 3);
    EXPECT_EQ(recovered.value(), 5);
    EXPECT_EQ(recoveredLater.error()->code, 3);
    EXPECT_EQ(always.error()->code, 3);
    EXPECT_EQ(*invalid.error(), PromiseError::validationFailure);
    EXPECT_EQ(calls, (std::vector<std::string>{"catch 3", "always"}));
}

TEST_F(PromiseFrontTest, CreationFromWorkRunsOnTheQueue) {
    Promise<int> fromBlocks(main, [](Promise<int>::Fulfill fulfill, Promise<int>::Reject) { fulfill(1); });
    Promise<int> fromValue(main, [] { return 2; });
    Promise<int> fromPromise(main, [] { return Promise<int>(3); });
    Promise<int> throwing(main, []() -> int { throw testError(4); });
    Promise<int> throwingBlocks(main,
                                [](Promise<int>::Fulfill, Promise<int>::Reject) { throw testError(5); });
    EXPECT_TRUE(fromValue.isPending());
    for (const auto& p : {fromBlocks, fromValue, fromPromise, throwing, throwingBlocks})
        ASSERT_TRUE(settleTyped(p));
    EXPECT_EQ(fromBlocks.value(), 1);
    EXPECT_EQ(fromValue.value(), 2);
    EXPECT_EQ(fromPromise.value(), 3);
    EXPECT_EQ(throwing.error()->code, 4);
    EXPECT_EQ(throwingBlocks.error()->code, 5);
}

TEST_F(PromiseFrontTest, AllAnyAndRaceOverTypedPromises) {
    auto pair = all(main, Promise<int>(1), Promise<std::string>("two"));
    auto same = all(main, {Promise<int>(1), Promise<int>(2)});
    auto outcomes = any(main, {Promise<int>(1), Promise<int>(testError(6))});
    auto mixed = any(main, Promise<int>(testError(7)), Promise<std::string>("s"));
    auto first = race(main, {Promise<int>(), Promise<int>(9)});
    ASSERT_TRUE(settleTyped(pair) && settleTyped(same) && settleTyped(outcomes) && settleTyped(mixed));
    EXPECT_EQ(pair.value(), std::make_tuple(1, std::string("two")));
    EXPECT_EQ(same.value(), (std::vector<int>{1, 2}));
    ASSERT_TRUE(outcomes.value().has_value());
    EXPECT_EQ(*outcomes.value(), (std::vector<Maybe<int>>{Maybe<int>(1), Maybe<int>(testError(6))}));
    auto [left, right] = *mixed.value();
    EXPECT_EQ(left.error()->code, 7);
    EXPECT_EQ(right.value(), "s");
    ASSERT_TRUE(settleTyped(first));
    EXPECT_EQ(first.value(), 9) << "the settled input wins over the pending one";
}

TEST_F(PromiseFrontTest, MaybeComparesErrorsByDomainCodeAndUserInfo) {
    plat::Error a("d", 1, {{"k", Object("v")}});
    plat::Error b("d", 1, {{"k", Object("v")}});
    plat::Error c("d", 1, {{"k", Object("w")}});
    EXPECT_EQ(Maybe<int>(a), Maybe<int>(b));
    EXPECT_NE(Maybe<int>(a), Maybe<int>(c));
    EXPECT_NE(Maybe<int>(1), Maybe<int>(a));
    EXPECT_EQ(Maybe<int>(1), Maybe<int>(1));
    EXPECT_TRUE(asMaybe<int>(TPRErrorObject(a))->isError());
    EXPECT_EQ(asMaybe<int>(Object(4))->value(), 4);
}

TEST_F(PromiseFrontTest, ReduceStepsRunOnTheGivenQueue) {
    auto queue = plat::DispatchQueue::serial("reduce.queue");
    std::atomic<int> offQueue{0};
    auto sum = Promise<int>(0).reduce(queue, {1, 2, 3}, [&](int partial, int item) {
        if (!queue.isCurrent()) ++offQueue;
        return Promise<int>(partial + item);
    });
    EXPECT_EQ(awaitPromise(sum), 6);
    EXPECT_EQ(offQueue.load(), 0);
    EXPECT_THROW(awaitPromise(Promise<int>(testError())), plat::Error);
}

TEST_F(PromiseFrontTest, ResultsLiveWhileTheirReceiverIsPendingWithoutAnOwner) {
    Promise<int> receiver;
    bool ran = false;
    receiver.then(main, [](int v) { return v * 2; }).then(main, [&](int v) { ran = v == 42; });
    receiver.fulfill(21);
    EXPECT_TRUE(TPRWaitForPromisesWithTimeout(5));
    EXPECT_TRUE(ran);
}

TEST_F(PromiseFrontTest, RetryTreatsThrowsAsFailedRuns) {
    plat::ManualScheduler scheduler;
    int runs = 0;
    std::vector<int64_t> remaining;
    auto result = retry(
        main, 2, 0.5, [&](int64_t left, const plat::Error&) { return remaining.push_back(left), true; },
        [&]() -> Promise<int> {
            if (++runs < 3) throw testError(runs);
            return Promise<int>(runs);
        },
        scheduler);
    scheduler.advanceSeconds(0.5);
    plat::RunLoop::main().drain();
    scheduler.advanceSeconds(0.5);
    plat::RunLoop::main().drain();
    EXPECT_EQ(result.value(), 3);
    EXPECT_EQ(remaining, (std::vector<int64_t>{2, 1}));
}

TEST_F(PromiseFrontTest, WrapPicksTheShapeFromTheCompletion) {
    auto none = wrap(main, [](std::function<void()> done) { done(); });
    auto value = wrap(main, [](std::function<void(int)> done) { done(4); });
    auto valueOrError = wrap(main, [](std::function<void(std::string, std::optional<plat::Error>)> done) {
        done("x", testError(8));
    });
    auto errorOrValue =
        wrap(main, [](std::function<void(std::optional<plat::Error>, std::optional<int>)> done) {
            done(std::nullopt, std::nullopt);
        });
    auto twoValues = wrap(
        main,
        [](std::function<void(std::optional<int>, std::optional<std::string>, std::optional<plat::Error>)>
               done) { done(std::nullopt, "b", std::nullopt); });
    auto thrown = wrap(main, [](std::function<void(bool)>) { throw testError(9); });
    static_assert(std::is_same_v<decltype(none), Promise<Object>>);
    static_assert(std::is_same_v<decltype(errorOrValue), Promise<std::optional<int>>>);
    ASSERT_TRUE(settleTyped(none) && settleTyped(value) && settleTyped(valueOrError) &&
                settleTyped(errorOrValue) && settleTyped(twoValues) && settleTyped(thrown));
    EXPECT_TRUE(none.isFulfilled());
    EXPECT_EQ(value.value(), 4);
    EXPECT_EQ(valueOrError.error()->code, 8);
    EXPECT_TRUE(errorOrValue.isFulfilled());
    EXPECT_FALSE(errorOrValue.value().has_value());
    EXPECT_EQ(twoValues.value(), std::make_pair(std::optional<int>(), std::optional<std::string>("b")));
    EXPECT_EQ(thrown.error()->code, 9);
}

// The sessions component's shape: one Promise<Void> per expected subscriber, joined with all().
TEST_F(PromiseFrontTest, VoidPromisesJoinAndChain) {
    std::vector<Promise<Void>> subscribers(3);
    bool allRegistered = false;
    all(main, subscribers).then(main, [&] { allRegistered = true; });
    subscribers[0].fulfill(Void{});
    subscribers[2].fulfill(Void{});
    plat::RunLoop::main().drain();
    EXPECT_FALSE(allRegistered);
    subscribers[1].fulfill(Void{});
    EXPECT_TRUE(TPRWaitForPromisesWithTimeout(5));
    EXPECT_TRUE(allRegistered);
    EXPECT_TRUE(subscribers[1].value().has_value()) << "a fulfilled Promise<Void> has a value";
}

TEST_F(PromiseFrontTest, AValueOfTheWrongTypeIsReportedNotMisread) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    Promise<int> wrong(TPRPromise::resolvedWith(Object("text")));
    EXPECT_FALSE(wrong.value().has_value());
    EXPECT_DEATH(
        {
            auto next = wrong.then(main, [](int v) { return v; });
            settle(next.asObjCPromise());
        },
        "a value of type int was expected");
}
