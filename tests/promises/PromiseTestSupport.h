// Shared pieces of the promise tests: a fixture that checks the library is idle after each test,
// and helpers that pump the main queue until a promise settles.
#pragma once

#include "promises/TPRPromiseFunctions.h"

#include "platform/dispatch/RunLoop.h"

#include <gtest/gtest.h>

namespace promisetest {

inline plat::Error testError(int64_t code = 42, std::string domain = "test.domain") {
    return plat::Error(std::move(domain), code);
}

// Runs main-queue blocks until the promise settles (or 5 s pass); true when it settled.
inline bool settle(const TPRPromise::Ptr& promise) {
    return plat::RunLoop::main().runUntil([&] { return !promise->isPending(); });
}

inline int64_t intValue(const plat::Object& value) {
    return value.number().int64Value();
}

// Every test starts and ends with the main queue as the default and the library idle: no pending
// promise and no queued promise work. The final check is the group-accounting test that every
// other test runs as a side effect.
class PromiseTest : public ::testing::Test {
protected:
    void SetUp() override {
        TPRPromise::setDefaultDispatchQueue(plat::mainQueue());
        ASSERT_TRUE(TPRWaitForPromisesWithTimeout(5)) << "promise work left over from an earlier test";
    }
    void TearDown() override {
        TPRPromise::setDefaultDispatchQueue(plat::mainQueue());
        EXPECT_TRUE(TPRWaitForPromisesWithTimeout(5)) << "pending promises or queued promise work remain";
        plat::RunLoop::main().drain();
    }
};

} // namespace promisetest
