// A queue of blocks that runs at most `maxConcurrentOperationCount` of them at a time on a private
// concurrent dispatch queue, can drop the blocks that have not started, and can be waited on.
// Copies refer to the same queue. Blocks still queued when the last copy goes away are run.
#pragma once

#include "platform/dispatch/DispatchQueue.h"

#include <memory>
#include <string>

namespace plat {

class OperationQueue {
public:
    // No limit on the number of blocks running at once.
    static constexpr int kDefaultMaxConcurrentOperationCount = -1;

    explicit OperationQueue(std::string name = "OperationQueue", QoS qos = QoS::Default);

    // 1 makes the queue serial (FIFO); zero or negative means no limit. Raising it starts waiting
    // blocks at once; lowering it lets running blocks finish.
    void setMaxConcurrentOperationCount(int count);
    int maxConcurrentOperationCount() const;

    void addOperation(Block block);
    // Blocks until every added block has finished or was cancelled. Calling it from a block of this
    // queue aborts with a message, since it would wait for itself.
    void waitUntilAllOperationsAreFinished() const;
    // Drops the blocks that have not started; running blocks finish normally.
    void cancelAll();
    // Blocks queued or running.
    size_t operationCount() const;

    const std::string& name() const;

private:
    struct Impl;
    std::shared_ptr<Impl> impl_;
};

} // namespace plat
