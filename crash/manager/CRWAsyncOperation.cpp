#include "crash/manager/CRWAsyncOperation.h"

CRWAsyncOperation::CRWAsyncOperation()
    : CRWAsyncOperation("CRWAsyncOperation", "com.crashwatch.async-operation-lock") {}

CRWAsyncOperation::CRWAsyncOperation(std::string name, std::string lockName)
    : name_(std::move(name)), lockName_(std::move(lockName)) {}

void CRWAsyncOperation::start() {
    {
        std::lock_guard guard(lock_);
        if (started_ || finished_) return;
        started_ = true;
    }
    if (isCancelled()) {
        markDone();
        return;
    }
    markStarted();
    main();
}

void CRWAsyncOperation::cancel() {
    std::lock_guard guard(lock_);
    cancelled_ = true;
}

bool CRWAsyncOperation::isCancelled() const {
    std::lock_guard guard(lock_);
    return cancelled_;
}

bool CRWAsyncOperation::isExecuting() const {
    std::lock_guard guard(lock_);
    return executing_;
}

bool CRWAsyncOperation::isFinished() const {
    std::lock_guard guard(lock_);
    return finished_;
}

void CRWAsyncOperation::markStarted() {
    lock([this] { changeValueForKey("isExecuting", [this] { executing_ = true; }); });
}

void CRWAsyncOperation::markDone() {
    std::function<void()> completion;
    bool first = false;
    lock([&] {
        changeValueForKey("isExecuting", [this] { executing_ = false; });
        if (finished_) return;
        changeValueForKey("isFinished", [this] { finished_ = true; });
        first = true;
        completion = std::move(completionBlock_);
        completionBlock_ = nullptr;
    });
    // Outside the lock: the block may ask this operation for its state from another thread.
    if (first && completion) completion();
}

bool CRWAsyncOperation::checkForCancellation() {
    if (!isCancelled()) return false;
    markDone();
    return true;
}

void CRWAsyncOperation::lock(const std::function<void()>& block) const {
    std::lock_guard guard(lock_);
    block();
}

void CRWAsyncOperation::changeValueForKey(const std::string& key, const std::function<void()>& block) {
    std::lock_guard guard(lock_);
    announce(key, Change::WillChange);
    block();
    announce(key, Change::DidChange);
}

void CRWAsyncOperation::announce(const std::string& key, Change change) {
    // A copy: the observer may replace itself.
    Observer observer = observer_;
    if (observer) observer(key, change);
}

void CRWAsyncOperation::setObserver(Observer observer) {
    std::lock_guard guard(lock_);
    observer_ = std::move(observer);
}

std::function<void()> CRWAsyncOperation::completionBlock() const {
    std::lock_guard guard(lock_);
    return completionBlock_;
}

void CRWAsyncOperation::setCompletionBlock(std::function<void()> block) {
    std::lock_guard guard(lock_);
    completionBlock_ = std::move(block);
}
