// The asynchronous operation bases and the compound operation: the operations go from ready to
// executing to finished with each change announced before and after it, and finish once, with
// the error that sums up their sub-operations, even when cancelled sub-operations report back late.
#include "crash/manager/CRWCompoundOperation.h"
#include "tests/support/ThreadState.h"

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
        testsupport::waitUntil([&] { return count() >= n; });
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
        testsupport::waitUntil([&] { return sub->ran.load(); });
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
    operation->setObserver([&](const std::string& key, CRWAsyncOperation::Change change) {
        if (change == CRWAsyncOperation::Change::DidChange) keys.push_back(key);
    });
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

// The twin base without an async completion: finishes through markDone().
class PlainOperation : public CRWAsyncOperation {
public:
    void main() override { ++runs; }
    int runs = 0;
};

// Every announcement with the flags as they were at that moment.
struct Announcement {
    std::string key;
    CRWAsyncOperation::Change change;
    bool executing;
    bool finished;
    bool operator==(const Announcement&) const = default;
};

std::vector<Announcement>* watch(CRWAsyncOperation& operation) {
    auto* heard = new std::vector<Announcement>();
    operation.setObserver([&operation, heard](const std::string& key, CRWAsyncOperation::Change change) {
        // Reading the flags again from inside the announcement needs the lock to be recursive.
        heard->push_back({key, change, operation.isExecuting(), operation.isFinished()});
    });
    return heard;
}

TEST(AsyncOperationTest, GoesFromReadyToExecutingToFinishedAnnouncingEachChangeBeforeAndAfter) {
    using C = CRWAsyncOperation::Change;
    auto operation = std::make_shared<PlainOperation>();
    EXPECT_EQ(operation->lockName(), "com.crashwatch.async-operation-lock");
    EXPECT_EQ(operation->name(), "CRWAsyncOperation");
    EXPECT_TRUE(operation->isConcurrent());
    EXPECT_TRUE(operation->isAsynchronous());
    EXPECT_FALSE(operation->isExecuting());
    EXPECT_FALSE(operation->isFinished());
    std::unique_ptr<std::vector<Announcement>> heard(watch(*operation));
    int completions = 0;
    operation->setCompletionBlock([&] {
        ++completions;
        EXPECT_TRUE(operation->isFinished()) << "the block runs once the operation is finished";
    });

    operation->start();
    EXPECT_EQ(operation->runs, 1) << "main runs on the starting thread";
    EXPECT_TRUE(operation->isExecuting());
    EXPECT_FALSE(operation->isFinished());
    EXPECT_EQ(*heard, (std::vector<Announcement>{{"isExecuting", C::WillChange, false, false},
                                                 {"isExecuting", C::DidChange, true, false}}));
    heard->clear();
    operation->markDone();
    EXPECT_EQ(*heard, (std::vector<Announcement>{{"isExecuting", C::WillChange, true, false},
                                                 {"isExecuting", C::DidChange, false, false},
                                                 {"isFinished", C::WillChange, false, false},
                                                 {"isFinished", C::DidChange, false, true}}));
    EXPECT_EQ(completions, 1);
    operation->markDone();
    operation->start();
    EXPECT_EQ(completions, 1) << "finished once";
    EXPECT_EQ(operation->runs, 1) << "a finished operation does not run again";

    // Cancelled before it started: straight to finished, main never runs.
    auto cancelled = std::make_shared<PlainOperation>();
    std::unique_ptr<std::vector<Announcement>> skipped(watch(*cancelled));
    EXPECT_FALSE(cancelled->checkForCancellation());
    EXPECT_FALSE(cancelled->isFinished());
    cancelled->cancel();
    cancelled->start();
    EXPECT_EQ(cancelled->runs, 0);
    EXPECT_TRUE(cancelled->isFinished());
    EXPECT_FALSE(cancelled->isExecuting());
    ASSERT_FALSE(skipped->empty());
    EXPECT_EQ(skipped->back(), (Announcement{"isFinished", C::DidChange, false, true}));
    for (const Announcement& announcement : *skipped)
        EXPECT_FALSE(announcement.executing) << "never executing";

    // Cancelled while running: the subclass's check finishes it.
    auto running = std::make_shared<PlainOperation>();
    running->start();
    running->cancel();
    EXPECT_TRUE(running->isExecuting());
    EXPECT_TRUE(running->checkForCancellation());
    EXPECT_TRUE(running->isFinished());
    EXPECT_FALSE(running->isExecuting());
}

TEST(AsyncOperationTest, OtherThreadsReadTheFlagsUnderTheLock) {
    auto operation = std::make_shared<PlainOperation>();
    operation->start();
    std::atomic<bool> read{false};
    std::thread reader;
    operation->lock([&] {
        // Held here, so the other thread's read waits for the block.
        reader = std::thread([&] {
            (void)operation->isFinished();
            read = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_FALSE(read) << "read while the lock was held";
        operation->markDone();
        EXPECT_TRUE(operation->isFinished()) << "the lock is recursive";
    });
    reader.join();
    EXPECT_TRUE(read);
}

} // namespace
