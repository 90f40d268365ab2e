#include "crash/manager/CRWBaseAsyncOperation.h"

CRWBaseAsyncOperation::CRWBaseAsyncOperation(std::string className)
    : name_(className), lockName_("com.tessera.crashwatch." + className + "-lock") {}

void CRWBaseAsyncOperation::start() {
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

void CRWBaseAsyncOperation::cancel() {
    std::lock_guard guard(lock_);
    cancelled_ = true;
}

bool CRWBaseAsyncOperation::isCancelled() const {
    std::lock_guard guard(lock_);
    return cancelled_;
}

bool CRWBaseAsyncOperation::isExecuting() const {
    std::lock_guard guard(lock_);
    return executing_;
}

bool CRWBaseAsyncOperation::isFinished() const {
    std::lock_guard guard(lock_);
    return finished_;
}

void CRWBaseAsyncOperation::markStarted() {
    lock([this] { changeValueForKey("isExecuting", [this] { executing_ = true; }); });
}

void CRWBaseAsyncOperation::markDone() {
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

void CRWBaseAsyncOperation::finishWithError(std::optional<plat::Error> error) {
    AsyncCompletion completion;
    {
        std::lock_guard guard(lock_);
        if (!finished_) completion = asyncCompletion_;
    }
    if (completion) completion(std::move(error));
    markDone();
}

bool CRWBaseAsyncOperation::checkForCancellation() {
    if (!isCancelled()) return false;
    markDone();
    return true;
}

void CRWBaseAsyncOperation::lock(const std::function<void()>& block) const {
    std::lock_guard guard(lock_);
    block();
}

void CRWBaseAsyncOperation::changeValueForKey(const std::string& key, const std::function<void()>& block) {
    block();
    std::function<void(const std::string&)> observer;
    {
        std::lock_guard guard(lock_);
        observer = observer_;
    }
    if (observer) observer(key);
}

void CRWBaseAsyncOperation::setObserver(std::function<void(const std::string& key)> observer) {
    std::lock_guard guard(lock_);
    observer_ = std::move(observer);
}

CRWBaseAsyncOperation::AsyncCompletion CRWBaseAsyncOperation::asyncCompletion() const {
    std::lock_guard guard(lock_);
    return asyncCompletion_;
}

void CRWBaseAsyncOperation::setAsyncCompletion(AsyncCompletion completion) {
    std::lock_guard guard(lock_);
    asyncCompletion_ = std::move(completion);
}

std::function<void()> CRWBaseAsyncOperation::completionBlock() const {
    std::lock_guard guard(lock_);
    return completionBlock_;
}

void CRWBaseAsyncOperation::setCompletionBlock(std::function<void()> block) {
    std::lock_guard guard(lock_);
    completionBlock_ = std::move(block);
}
