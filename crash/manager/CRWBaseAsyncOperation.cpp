#include "crash/manager/CRWBaseAsyncOperation.h"

CRWBaseAsyncOperation::CRWBaseAsyncOperation(std::string className)
    : CRWAsyncOperation(className, "com.tessera.crashwatch." + className + "-lock") {}

void CRWBaseAsyncOperation::finishWithError(std::optional<plat::Error> error) {
    AsyncCompletion completion;
    lock([&] {
        if (!isFinished()) completion = asyncCompletion_;
    });
    if (completion) completion(std::move(error));
    markDone();
}

CRWBaseAsyncOperation::AsyncCompletion CRWBaseAsyncOperation::asyncCompletion() const {
    AsyncCompletion completion;
    lock([&] { completion = asyncCompletion_; });
    return completion;
}

void CRWBaseAsyncOperation::setAsyncCompletion(AsyncCompletion completion) {
    lock([&] { asyncCompletion_ = std::move(completion); });
}
