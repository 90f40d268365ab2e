// Runs a set of asynchronous operations side by side on a queue of its own and finishes when all
// of them have: without an error when none failed, with the sub-operation-failed error (holding
// their errors) when some did, or with the cancelled error after cancel(). It finishes exactly
// once, however many cancelled sub-operations report back afterwards.
#pragma once

#include "crash/manager/CRWBaseAsyncOperation.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/OperationQueue.h"

#include <memory>
#include <vector>

inline constexpr const char* kCRWCompoundOperationErrorDomain =
    "com.tessera.crashwatch.CRWCompoundOperation.error";
inline constexpr const char* kCRWCompoundOperationErrorUserInfoKeyUnderlyingErrors =
    "com.tessera.crashwatch.CRWCompoundOperation.error.user-info-key.underlying-errors";
// 2^32 - 2 and 2^32 - 3.
inline constexpr int64_t kCRWCompoundOperationErrorCodeCancelled = 4294967294LL;
inline constexpr int64_t kCRWCompoundOperationErrorCodeSubOperationFailed = 4294967293LL;

class CRWCompoundOperation : public CRWBaseAsyncOperation {
public:
    CRWCompoundOperation();

    // Set before start or cancel.
    void setOperations(std::vector<std::shared_ptr<CRWBaseAsyncOperation>> operations);
    const std::vector<std::shared_ptr<CRWBaseAsyncOperation>>& operations() const { return operations_; }

    void main() override;
    void cancel() override;

    // On the counting queue: finishes once every sub-operation has reported, or at once when cancelled.
    void attemptCompoundCompletion();
    // On the counting queue: counts one sub-operation's outcome.
    void updateCompletionCountsWithError(const std::optional<plat::Error>& error);
    void injectCompoundAsyncCompletionInOperation(const std::shared_ptr<CRWBaseAsyncOperation>& operation);
    void injectCompoundSyncCompletionInOperation(const std::shared_ptr<CRWBaseAsyncOperation>& operation);

    unsigned completedOperations() const { return completedOperations_; }

private:
    // Wraps every sub-operation's completions (once) and queues them.
    void queueOperations(bool cancelFirst);

    std::vector<std::shared_ptr<CRWBaseAsyncOperation>> operations_;
    plat::OperationQueue compoundQueue_;
    plat::DispatchQueue countingQueue_;
    // Touched only on the counting queue.
    unsigned completedOperations_ = 0;
    std::vector<plat::Error> errors_;
    bool queued_ = false;
};
