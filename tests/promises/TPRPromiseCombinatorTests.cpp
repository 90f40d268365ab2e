// all, any, race and reduce.
#include "PromiseTestSupport.h"

using namespace promisetest;
using plat::Object;

namespace {
class TPRPromiseCombinatorTest : public PromiseTest {};
} // namespace

TEST_F(TPRPromiseCombinatorTest, AllGivesValuesInInputOrderOnALaterTurn) {
    auto empty = TPRPromise::all({});
    EXPECT_TRUE(empty->isFulfilled()) << "an empty input settles at once";
    EXPECT_EQ(empty->value(), Object(Object::Array{}));

    auto later = TPRPromise::pendingPromise();
    auto joined = TPRPromise::all(
        {later, TPRPromise::resolvedWith(Object("A")), Object("B"), TPRPromise::resolvedWith(Object())});
    plat::RunLoop::main().drain();
    EXPECT_TRUE(joined->isPending());
    later->fulfill(Object(0));
    ASSERT_TRUE(settle(joined));
    EXPECT_EQ(joined->value(), Object(Object::Array{Object(0), Object("A"), Object("B"), Object::null()}));

    auto settledInputs = TPRPromise::all({TPRPromise::resolvedWith(Object(1)), Object(2)});
    EXPECT_TRUE(settledInputs->isPending()) << "never settles during the call";
    ASSERT_TRUE(settle(settledInputs));
}

TEST_F(TPRPromiseCombinatorTest, AllRejectsWithTheFirstError) {
    auto first = TPRPromise::pendingPromise();
    int observed = 0;
    first->observeOnQueue(
        plat::mainQueue(), [&](const Object&) { ++observed; }, [&](const plat::Error&) {});
    auto early = TPRPromise::all({first, testError(5), TPRPromise::pendingPromise()});
    ASSERT_TRUE(settle(early));
    EXPECT_EQ(early->error()->code, 5);
    first->fulfill(Object(1));
    // One block per observer of `first`: had all() observed it, there would be two.
    EXPECT_EQ(plat::RunLoop::main().drain(), 1u);
    EXPECT_EQ(observed, 1);

    auto failing = TPRPromise::pendingPromise();
    auto late = TPRPromise::all({TPRPromise::resolvedWith(Object(1)), failing});
    failing->reject(testError(6));
    ASSERT_TRUE(settle(late));
    EXPECT_EQ(late->error()->code, 6);
}

TEST_F(TPRPromiseCombinatorTest, AnyWaitsForEveryPromiseAndFailsOnlyWhenNoneSucceeded) {
    auto empty = TPRPromise::any({});
    EXPECT_TRUE(empty->isFulfilled());

    auto failing = TPRPromise::pendingPromise();
    auto mixed = TPRPromise::any({TPRPromise::resolvedWith(Object("v")), failing, testError(2), Object()});
    plat::RunLoop::main().drain();
    EXPECT_TRUE(mixed->isPending()) << "waits for every input";
    failing->reject(testError(1));
    ASSERT_TRUE(settle(mixed));
    const Object::Array& outcomes = mixed->value().array();
    ASSERT_EQ(outcomes.size(), 4u);
    EXPECT_EQ(outcomes[0], Object("v"));
    ASSERT_NE(TPRErrorFromObject(outcomes[1]), nullptr);
    EXPECT_EQ(TPRErrorFromObject(outcomes[1])->code, 1);
    EXPECT_EQ(TPRErrorFromObject(outcomes[2])->code, 2);
    EXPECT_EQ(outcomes[3], Object::null());

    auto allFailed = TPRPromise::any({testError(3), TPRPromise::resolvedWith(testError(4))});
    ASSERT_TRUE(settle(allFailed));
    const int64_t code = allFailed->error()->code;
    EXPECT_TRUE(code == 3 || code == 4) << code;
}

TEST_F(TPRPromiseCombinatorTest, RaceTakesTheFirstOutcome) {
    auto never = TPRPromise::pendingPromise();
    auto plainWins = TPRPromise::race({never, Object("plain")});
    ASSERT_TRUE(settle(plainWins));
    EXPECT_EQ(plainWins->value(), Object("plain"));

    auto slow = TPRPromise::pendingPromise();
    auto fast = TPRPromise::pendingPromise();
    auto raced = TPRPromise::race({slow, fast});
    fast->reject(testError(8));
    ASSERT_TRUE(settle(raced));
    slow->fulfill(Object(1));
    plat::RunLoop::main().drain();
    EXPECT_EQ(raced->error()->code, 8);
    never->fulfill(Object());

    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(TPRPromise::race({}), "No promises to observe");
}

TEST_F(TPRPromiseCombinatorTest, ReduceFoldsInOrderAndStopsAtTheFirstError) {
    std::vector<std::string> steps;
    auto sum = TPRPromise::resolvedWith(Object(1))->reduce(
        {Object(10), Object(20), Object(30)}, [&](const Object& partial, const Object& item) -> TPRValue {
            steps.push_back(std::to_string(intValue(partial)) + "+" + std::to_string(intValue(item)));
            return intValue(partial) + intValue(item);
        });
    ASSERT_TRUE(settle(sum));
    EXPECT_EQ(intValue(sum->value()), 61);
    EXPECT_EQ(steps, (std::vector<std::string>{"1+10", "11+20", "31+30"}));

    int calls = 0;
    auto failing = TPRPromise::resolvedWith(Object(0))->reduce(
        {Object(1), Object(2), Object(3)}, [&](const Object& partial, const Object& item) -> TPRValue {
            ++calls;
            if (intValue(item) == 2) return testError(2);
            return intValue(partial) + intValue(item);
        });
    ASSERT_TRUE(settle(failing));
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(failing->error()->code, 2);

    auto receiver = TPRPromise::resolvedWith(Object(1));
    EXPECT_EQ(receiver->reduce({}, [](const Object& v, const Object&) -> TPRValue { return v; }), receiver);
}

TEST_F(TPRPromiseCombinatorTest, CombiningValuesAndErrorsRequiresSettledPromises) {
    auto combined = TPRPromiseCombineValuesAndErrors(
        {TPRPromise::resolvedWith(Object()), TPRPromise::resolvedWith(testError(3))});
    ASSERT_EQ(combined.array().size(), 2u);
    EXPECT_TRUE(combined.array()[0].isNull());
    EXPECT_EQ(TPRErrorFromObject(combined.array()[1])->code, 3);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(TPRPromiseCombineValuesAndErrors({TPRPromise::pendingPromise()}), "!promise.isPending");
}
