#include "crash/manager/CRWCompoundOperation.h"

CRWCompoundOperation::CRWCompoundOperation()
    : CRWBaseAsyncOperation("CRWCompoundOperation"), compoundQueue_("CRWCompoundOperation"),
      countingQueue_(plat::DispatchQueue::serial(
          "com.tessera.crashwatch.CRWCompoundOperation.dispatch-queue.counting-queue")) {}

void CRWCompoundOperation::setOperations(std::vector<std::shared_ptr<CRWBaseAsyncOperation>> operations) {
    operations_ = std::move(operations);
}

void CRWCompoundOperation::main() {
    queueOperations(false);
    // With nothing to wait for, no sub-operation would ever report back.
    if (operations_.empty())
        countingQueue_.async([self = shared_from_this()] {
            static_cast<CRWCompoundOperation*>(self.get())->attemptCompoundCompletion();
        });
}

void CRWCompoundOperation::queueOperations(bool cancelFirst) {
    bool alreadyQueued = false;
    lock([&] {
        alreadyQueued = queued_;
        queued_ = true;
    });
    if (alreadyQueued) return;
    for (const auto& operation : operations_) {
        injectCompoundAsyncCompletionInOperation(operation);
        injectCompoundSyncCompletionInOperation(operation);
        if (cancelFirst) operation->cancel();
        compoundQueue_.addOperation([operation] { operation->start(); });
    }
}

void CRWCompoundOperation::cancel() {
    bool queued = false;
    lock([&] { queued = queued_; });
    CRWBaseAsyncOperation::cancel();
    if (!queued) {
        // Each sub-operation still finishes through its cancellation path.
        queueOperations(true);
    } else {
        for (const auto& operation : operations_)
            operation->cancel();
        compoundQueue_.cancelAll();
    }
    // Finishing here, not when the sub-operations report, keeps a later start() (which marks a
    // cancelled operation done) from finishing this one silently.
    if (countingQueue_.isCurrent())
        attemptCompoundCompletion();
    else
        countingQueue_.sync([this] { attemptCompoundCompletion(); });
}

void CRWCompoundOperation::attemptCompoundCompletion() {
    if (isFinished()) return;
    if (isCancelled()) {
        finishWithError(plat::Error::withMessage(kCRWCompoundOperationErrorDomain,
                                                 kCRWCompoundOperationErrorCodeCancelled,
                                                 name() + " cancelled"));
        setAsyncCompletion(nullptr);
        return;
    }
    if (completedOperations_ + errors_.size() != operations_.size()) return;
    if (errors_.empty()) {
        finishWithError(std::nullopt);
        return;
    }
    plat::Object::Array underlying;
    for (const auto& error : errors_)
        underlying.push_back(plat::Object::Dict{{"domain", error.domain}, {"code", error.code}});
    finishWithError(plat::Error(kCRWCompoundOperationErrorDomain,
                                kCRWCompoundOperationErrorCodeSubOperationFailed,
                                {{kCRWCompoundOperationErrorUserInfoKeyUnderlyingErrors, underlying}}));
}

void CRWCompoundOperation::updateCompletionCountsWithError(const std::optional<plat::Error>& error) {
    if (error)
        errors_.push_back(*error);
    else
        ++completedOperations_;
}

void CRWCompoundOperation::injectCompoundAsyncCompletionInOperation(
    const std::shared_ptr<CRWBaseAsyncOperation>& operation) {
    std::weak_ptr<CRWAsyncOperation> weakSelf = weak_from_this();
    AsyncCompletion previous = operation->asyncCompletion();
    plat::DispatchQueue counting = countingQueue_;
    operation->setAsyncCompletion([weakSelf, previous, counting](std::optional<plat::Error> error) {
        counting.sync([&] {
            if (previous) previous(error);
            if (auto self = weakSelf.lock())
                static_cast<CRWCompoundOperation*>(self.get())->updateCompletionCountsWithError(error);
        });
    });
}

void CRWCompoundOperation::injectCompoundSyncCompletionInOperation(
    const std::shared_ptr<CRWBaseAsyncOperation>& operation) {
    std::weak_ptr<CRWAsyncOperation> weakSelf = weak_from_this();
    std::function<void()> previous = operation->completionBlock();
    plat::DispatchQueue counting = countingQueue_;
    operation->setCompletionBlock([weakSelf, previous, counting] {
        counting.async([weakSelf, previous] {
            if (previous) previous();
            if (auto self = weakSelf.lock())
                static_cast<CRWCompoundOperation*>(self.get())->attemptCompoundCompletion();
        });
    });
}
