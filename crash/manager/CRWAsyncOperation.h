// An asynchronous operation's state machine: start() runs main() on the calling thread, and the
// operation counts as finished only when the subclass calls markDone() later (from any thread). It
// goes from ready to executing to finished, or from ready straight to finished when it was
// cancelled before it started. Every change of "isExecuting" and "isFinished" is announced to the
// observer twice, before the flag changes and after, as key-value observing does, so that a queue
// can follow the operation. The flags are guarded by one recursive lock: any thread may read them,
// and an observer or a block run under the lock may read them again. An operation finishes once:
// the completion block runs at most one time. Made with std::make_shared.
//
// CRWBaseAsyncOperation is the same machine with an async completion and finishWithError(); the
// two differ in the name of their lock.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>

class CRWAsyncOperation : public std::enable_shared_from_this<CRWAsyncOperation> {
public:
    enum class Change { WillChange, DidChange };
    using Observer = std::function<void(const std::string& key, Change change)>;

    // Named "CRWAsyncOperation", its lock "com.crashwatch.async-operation-lock".
    CRWAsyncOperation();
    virtual ~CRWAsyncOperation() = default;
    CRWAsyncOperation(const CRWAsyncOperation&) = delete;
    CRWAsyncOperation& operator=(const CRWAsyncOperation&) = delete;

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

    // Executing begins ("isExecuting" announced).
    void markStarted();
    // Executing ends, then finished begins, each announced; the completion block runs after the
    // first call only, outside the lock.
    void markDone();
    // When cancelled: marks the operation done and answers true.
    bool checkForCancellation();

    // Runs `block` under the operation's lock.
    void lock(const std::function<void()>& block) const;
    // Runs `block` between the will-change and did-change announcements of `key`.
    void changeValueForKey(const std::string& key, const std::function<void()>& block);
    // Hears every announcement, on the thread that makes the change, under the lock.
    void setObserver(Observer observer);

    // Runs once when the operation becomes finished, on the finishing thread.
    std::function<void()> completionBlock() const;
    void setCompletionBlock(std::function<void()> block);

    const std::string& name() const { return name_; }
    const std::string& lockName() const { return lockName_; }

protected:
    CRWAsyncOperation(std::string name, std::string lockName);

private:
    void announce(const std::string& key, Change change);

    std::string name_;
    std::string lockName_;
    mutable std::recursive_mutex lock_;
    bool executing_ = false;
    bool finished_ = false;
    bool cancelled_ = false;
    bool started_ = false;
    std::function<void()> completionBlock_;
    Observer observer_;
};
