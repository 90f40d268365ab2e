// The completion-handler wrappers of the core.
#include "PromiseTestSupport.h"

using namespace promisetest;
using plat::Object;

namespace {
class TPRPromiseWrapTest : public PromiseTest {};
} // namespace

TEST_F(TPRPromiseWrapTest, ErrorArgumentsAreTestedFirst) {
    auto noError = TPRPromise::wrapErrorCompletion([](TPRErrorCompletion done) { done(std::nullopt); });
    auto both = TPRPromise::wrapObjectOrErrorCompletion(
        [](TPRObjectOrErrorCompletion done) { done(Object("ignored"), testError(1)); });
    auto errorFirst = TPRPromise::wrapErrorOrObjectCompletion(
        [](TPRErrorOrObjectCompletion done) { done(std::nullopt, Object("value")); });
    auto objectIsError =
        TPRPromise::wrapObjectCompletion([](TPRObjectCompletion done) { done(testError(2)); });
    auto boxedError = TPRPromise::wrapObjectCompletion(
        [](TPRObjectCompletion done) { done(TPRErrorObject(testError(3))); });
    auto boolWithError = TPRPromise::wrapBoolOrErrorCompletion(
        [](TPRBoolOrErrorCompletion done) { done(true, testError(4)); });
    for (const auto& p : {noError, both, errorFirst, objectIsError, boxedError, boolWithError})
        ASSERT_TRUE(settle(p));
    EXPECT_TRUE(noError->isFulfilled());
    EXPECT_TRUE(noError->value().isAbsent());
    EXPECT_EQ(both->error()->code, 1);
    EXPECT_EQ(errorFirst->value(), Object("value"));
    EXPECT_EQ(objectIsError->error()->code, 2);
    EXPECT_EQ(boxedError->error()->code, 3);
    EXPECT_EQ(boolWithError->error()->code, 4);
}

TEST_F(TPRPromiseWrapTest, ValuesAreBoxedByShape) {
    auto plain = TPRPromise::wrapCompletion([](TPRCompletion done) { done(); });
    auto pair = TPRPromise::wrap2ObjectsOrErrorCompletion(
        [](TPR2ObjectsOrErrorCompletion done) { done(Object(), Object("B"), std::nullopt); });
    auto no = TPRPromise::wrapBoolCompletion([](TPRBoolCompletion done) { done(false); });
    auto integer = TPRPromise::wrapIntegerOrErrorCompletion(
        [](TPRIntegerOrErrorCompletion done) { done(-9'000'000'000, std::nullopt); });
    auto real = TPRPromise::wrapDoubleOrErrorCompletion(
        [](TPRDoubleOrErrorCompletion done) { done(2.5, std::nullopt); });
    auto followed = TPRPromise::wrapObjectCompletion(
        [](TPRObjectCompletion done) { done(TPRPromise::resolvedWith(Object("inner"))); });
    for (const auto& p : {plain, pair, no, integer, real, followed})
        ASSERT_TRUE(settle(p));
    EXPECT_TRUE(plain->isFulfilled() && plain->value().isAbsent());
    EXPECT_EQ(pair->value(), Object(Object::Array{Object::null(), Object("B")}));
    ASSERT_TRUE(no->isFulfilled());
    ASSERT_TRUE(no->value().isNumber()) << "false is a value, not a missing one";
    EXPECT_TRUE(no->value().number().isBool());
    EXPECT_FALSE(no->value().number().boolValue());
    EXPECT_EQ(integer->value().number().int64Value(), -9'000'000'000);
    EXPECT_EQ(real->value().number().doubleValue(), 2.5);
    EXPECT_EQ(followed->value(), Object("inner"));
}

TEST_F(TPRPromiseWrapTest, WorkRunsOnALaterTurnAndOnlyTheFirstCompletionCounts) {
    bool started = false;
    auto promise = TPRPromise::wrapIntegerCompletion([&](TPRIntegerCompletion done) {
        started = true;
        done(1); // synchronous completion: still after the wrap call returned
        done(2);
    });
    EXPECT_FALSE(started);
    EXPECT_TRUE(promise->isPending());
    ASSERT_TRUE(settle(promise));
    EXPECT_EQ(intValue(promise->value()), 1);

    auto queue = plat::DispatchQueue::serial("wrap.queue");
    auto onQueue =
        TPRPromise::wrapBoolCompletion(queue, [queue](TPRBoolCompletion done) { done(queue.isCurrent()); });
    EXPECT_EQ(TPRPromiseAwait(onQueue), Object(true));

    TPRCompletion kept;
    auto never = TPRPromise::wrapCompletion([&](TPRCompletion done) { kept = done; });
    plat::RunLoop::main().drain();
    EXPECT_TRUE(never->isPending()) << "a completion never called leaves the promise pending";
    kept();
    EXPECT_TRUE(never->isFulfilled());
}
