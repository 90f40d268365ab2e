// The asynchronous operation base and the compound operation: they finish once, with the error
// that sums up their sub-operations, even when cancelled sub-operations report back late.
#include "crash/manager/CRWCompoundOperation.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Finishes only when the test says so; records that main ran.
class ManualOperation : public CRWBaseAsyncOperation {
public:
    ManualOperation() : CRWBaseAsyncOperation("ManualOperation") {}
    void main() override { ran = true; }
    std::atomic<bool> ran{false};
};

struct Finishes {
    std::mutex mutex;
    std::vector<std::optional<plat::Error>> errors;
    void add(std::optional<plat::Error> error) {
        std::lock_guard guard(mutex);
        errors.push_back(std::move(error));
    }
    size_t count() {
        std::lock_guard guard(mutex);
        return errors.size();
    }
    // Waits for `n` finishes; then lets late ones arrive for a moment.
    bool waitFor(size_t n) {
        for (int i = 0; i < 2000 && count() < n; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        return count() == n;
    }
};

std::shared_ptr<CRWCompoundOperation> compoundOf(const std::vector<std::shared_ptr<ManualOperation>>& subs,
                                                 Finishes& finishes) {
    auto compound = std::make_shared<CRWCompoundOperation>();
    compound->setOperations({subs.begin(), subs.end()});
    compound->setAsyncCompletion(
        [&finishes](std::optional<plat::Error> error) { finishes.add(std::move(error)); });
    return compound;
}

void waitUntilRunning(const std::vector<std::shared_ptr<ManualOperation>>& subs) {
    for (const auto& sub : subs)
        for (int i = 0; i < 2000 && !sub->ran; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TEST(CompoundOperationTest, FinishesOnceAllSubOperationsHaveAndSumsUpTheirErrors) {
    std::vector<std::shared_ptr<ManualOperation>> subs{std::make_shared<ManualOperation>(),
                                                       std::make_shared<ManualOperation>(),
                                                       std::make_shared<ManualOperation>()};
    Finishes finishes;
    auto compound = compoundOf(subs, finishes);
    compound->start();
    EXPECT_TRUE(compound->isExecuting());
    waitUntilRunning(subs);
    subs[0]->finishWithError(std::nullopt);
    subs[1]->finishWithError(plat::Error("sub", 7));
    EXPECT_TRUE(finishes.waitFor(0)) << "finished before the last sub-operation";
    subs[2]->finishWithError(std::nullopt);
    ASSERT_TRUE(finishes.waitFor(1));
    ASSERT_TRUE(finishes.errors[0]);
    EXPECT_EQ(finishes.errors[0]->domain, kCRWCompoundOperationErrorDomain);
    EXPECT_EQ(finishes.errors[0]->code, kCRWCompoundOperationErrorCodeSubOperationFailed);
    const auto& underlying =
        finishes.errors[0]->userInfo.at(kCRWCompoundOperationErrorUserInfoKeyUnderlyingErrors).array();
    ASSERT_EQ(underlying.size(), 1u);
    EXPECT_EQ(underlying[0]["code"].number().int64Value(), 7);
    EXPECT_TRUE(compound->isFinished());
    EXPECT_FALSE(compound->isExecuting());

    Finishes clean;
    std::vector<std::shared_ptr<ManualOperation>> ok{std::make_shared<ManualOperation>()};
    auto second = compoundOf(ok, clean);
    second->start();
    waitUntilRunning(ok);
    ok[0]->finishWithError(std::nullopt);
    ASSERT_TRUE(clean.waitFor(1));
    EXPECT_FALSE(clean.errors[0]);
}

TEST(CompoundOperationTest, CancelledBeforeStartFinishesOnceWithTheCancelledError) {
    std::vector<std::shared_ptr<ManualOperation>> subs{std::make_shared<ManualOperation>(),
                                                       std::make_shared<ManualOperation>()};
    Finishes finishes;
    auto compound = compoundOf(subs, finishes);
    compound->cancel();
    compound->start();
    ASSERT_TRUE(finishes.waitFor(1));
    ASSERT_TRUE(finishes.errors[0]);
    EXPECT_EQ(finishes.errors[0]->code, kCRWCompoundOperationErrorCodeCancelled);
    EXPECT_EQ(finishes.errors[0]->localizedDescription(), "CRWCompoundOperation cancelled");
    EXPECT_FALSE(subs[0]->ran);
    EXPECT_TRUE(subs[0]->isFinished());
    EXPECT_TRUE(compound->isFinished());
}

TEST(CompoundOperationTest, CancelWhileRunningFinishesOnceThoughSubOperationsReportLater) {
    std::vector<std::shared_ptr<ManualOperation>> subs{std::make_shared<ManualOperation>(),
                                                       std::make_shared<ManualOperation>()};
    Finishes finishes;
    auto compound = compoundOf(subs, finishes);
    compound->start();
    waitUntilRunning(subs);
    compound->cancel();
    // The cancelled sub-operations still report back, one after the other.
    subs[0]->finishWithError(std::nullopt);
    subs[1]->finishWithError(plat::Error("sub", 1));
    ASSERT_TRUE(finishes.waitFor(1));
    EXPECT_EQ(finishes.errors[0]->code, kCRWCompoundOperationErrorCodeCancelled);
}

TEST(AsyncOperationTest, FinishingTwiceCallsTheCompletionsOnce) {
    auto operation = std::make_shared<ManualOperation>();
    int asyncCalls = 0;
    int blockCalls = 0;
    std::vector<std::string> keys;
    operation->setAsyncCompletion([&](std::optional<plat::Error>) { ++asyncCalls; });
    operation->setCompletionBlock([&] { ++blockCalls; });
    operation->setObserver([&](const std::string& key) { keys.push_back(key); });
    EXPECT_EQ(operation->lockName(), "com.tessera.crashwatch.ManualOperation-lock");
    operation->start();
    EXPECT_TRUE(operation->ran);
    operation->finishWithError(std::nullopt);
    operation->finishWithError(plat::Error("late", 1));
    operation->markDone();
    EXPECT_EQ(asyncCalls, 1);
    EXPECT_EQ(blockCalls, 1);
    EXPECT_EQ(keys, (std::vector<std::string>{"isExecuting", "isExecuting", "isFinished", "isExecuting",
                                              "isExecuting"}));
    operation->start();
    EXPECT_TRUE(operation->isFinished());
}

} // namespace
