// The base of the crash reporter's asynchronous operations: start() runs main() on the calling
// thread, and the operation counts as finished only when the subclass calls finishWithError()
// later (from any thread). Its flags are read under a recursive lock, so any thread may ask. An
// operation finishes once: the async completion and the completion block run at most one time
// each, however often finishing is asked for. Made with std::make_shared.
#pragma once

#include "platform/object/Error.h"

#include <functional>
#include <mutex>
#include <optional>
#include <string>

class CRWBaseAsyncOperation : public std::enable_shared_from_this<CRWBaseAsyncOperation> {
public:
    using AsyncCompletion = std::function<void(std::optional<plat::Error> error)>;

    // `className` names the lock ("com.tessera.crashwatch.<class>-lock") and the operation.
    explicit CRWBaseAsyncOperation(std::string className = "CRWBaseAsyncOperation");
    virtual ~CRWBaseAsyncOperation() = default;
    CRWBaseAsyncOperation(const CRWBaseAsyncOperation&) = delete;
    CRWBaseAsyncOperation& operator=(const CRWBaseAsyncOperation&) = delete;

    // A cancelled operation is marked done without running main(); otherwise it is marked started
    // and main() runs here. A second start does nothing.
    void start();
    virtual void main() = 0;
    virtual void cancel();
    bool isCancelled() const;
    bool isConcurrent() const { return true; }
    bool isAsynchronous() const { return true; }
    bool isExecuting() const;
    bool isFinished() const;

    void markStarted();
    // Executing ends and finished begins; the completion block runs after the first call only.
    void markDone();
    // Calls the async completion (when set and not finished yet), then marks the operation done.
    void finishWithError(std::optional<plat::Error> error);
    // When cancelled: marks the operation done and answers true.
    bool checkForCancellation();

    // Runs `block` under the operation's lock.
    void lock(const std::function<void()>& block) const;
    // Runs `block` between the will-change and did-change notifications of `key`.
    void changeValueForKey(const std::string& key, const std::function<void()>& block);
    // Called after every did-change of "isExecuting" or "isFinished" (tests, queues).
    void setObserver(std::function<void(const std::string& key)> observer);

    AsyncCompletion asyncCompletion() const;
    void setAsyncCompletion(AsyncCompletion completion);
    // Runs once when the operation becomes finished, on the finishing thread.
    std::function<void()> completionBlock() const;
    void setCompletionBlock(std::function<void()> block);

    const std::string& name() const { return name_; }
    const std::string& lockName() const { return lockName_; }

private:
    std::string name_;
    std::string lockName_;
    mutable std::recursive_mutex lock_;
    bool executing_ = false;
    bool finished_ = false;
    bool cancelled_ = false;
    bool started_ = false;
    AsyncCompletion asyncCompletion_;
    std::function<void()> completionBlock_;
    std::function<void(const std::string&)> observer_;
};
