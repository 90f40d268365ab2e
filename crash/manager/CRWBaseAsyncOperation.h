// The base of the crash reporter's asynchronous operations: the state machine of CRWAsyncOperation
// with an async completion, which finishWithError() calls before it marks the operation done. The
// lock is named after the class ("com.tessera.crashwatch.<class>-lock"). An operation finishes
// once: the async completion and the completion block run at most one time each, however often
// finishing is asked for. Made with std::make_shared.
#pragma once

#include "crash/manager/CRWAsyncOperation.h"
#include "platform/object/Error.h"

#include <functional>
#include <optional>
#include <string>

class CRWBaseAsyncOperation : public CRWAsyncOperation {
public:
    using AsyncCompletion = std::function<void(std::optional<plat::Error> error)>;

    // `className` names the lock and the operation.
    explicit CRWBaseAsyncOperation(std::string className = "CRWBaseAsyncOperation");

    // Calls the async completion (when set and not finished yet), then marks the operation done.
    void finishWithError(std::optional<plat::Error> error);

    AsyncCompletion asyncCompletion() const;
    void setAsyncCompletion(AsyncCompletion completion);

private:
    AsyncCompletion asyncCompletion_;
};
