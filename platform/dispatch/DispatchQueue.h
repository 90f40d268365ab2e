// Dispatch queues: the main queue (run by the RunLoop on the main thread), global concurrent queues
// by quality of service, and private serial or concurrent queues. A DispatchQueue is a cheap,
// copyable handle; copies refer to the same queue and compare equal.
#pragma once

#include "platform/dispatch/Scheduler.h"

#include <memory>
#include <optional>
#include <string>

namespace plat {

class DispatchGroup;

enum class QoS { Background, Utility, Default, UserInitiated, UserInteractive };

class DispatchQueue {
public:
    enum class Attributes { Serial, Concurrent };

    // A new private queue. Serial queues run one block at a time in strict FIFO order.
    explicit DispatchQueue(std::string label, Attributes attributes = Attributes::Serial,
                           QoS qos = QoS::Default);
    static DispatchQueue serial(std::string label) { return DispatchQueue(std::move(label)); }
    static DispatchQueue concurrent(std::string label) {
        return DispatchQueue(std::move(label), Attributes::Concurrent);
    }
    // The queue of the main thread; blocks run only inside RunLoop::main().
    static DispatchQueue main();
    // The shared concurrent queue of a quality-of-service class.
    static DispatchQueue global(QoS qos = QoS::Default);
    // The queue whose block is running on this thread, if it is one of ours (the main queue on the
    // main thread while the run loop runs main-queue blocks).
    static std::optional<DispatchQueue> current();

    const std::string& label() const;
    bool isSerial() const;
    bool isMain() const;
    // True when the calling thread is running a block of this queue (for serial queues also
    // inside a nested sync onto another queue).
    bool isCurrent() const;

    void async(Block block) const;
    // Enters `group` now and leaves it when the block has run.
    void async(const DispatchGroup& group, Block block) const;
    // Runs the block and waits for it. On a serial queue the block runs after everything queued
    // before it. Calling sync onto a serial queue from inside that queue aborts with a message.
    void sync(const Block& block) const;
    // Runs `block` on this queue after `delay`, as timed by `scheduler`. Never early.
    void asyncAfter(Duration delay, Block block, Scheduler& scheduler = Scheduler::system()) const;
    void asyncAfter(TimePoint deadline, Block block, Scheduler& scheduler = Scheduler::system()) const;
    // On a concurrent queue: runs the block alone, after the blocks before it and before the blocks
    // after it. On a serial queue it is the same as async/sync; on the shared global queues it is
    // plain async/sync as well. syncBarrier from a block of the same private queue aborts.
    void asyncBarrier(Block block) const;
    void syncBarrier(const Block& block) const;

    bool operator==(const DispatchQueue& o) const { return impl_ == o.impl_; }

    struct Impl;
    explicit DispatchQueue(std::shared_ptr<Impl> impl) : impl_(std::move(impl)) {}
    const std::shared_ptr<Impl>& impl() const { return impl_; }

private:
    std::shared_ptr<Impl> impl_;
};

// Shorthand for DispatchQueue::main().
DispatchQueue mainQueue();
// True on the process's main thread.
bool isMainThread();

} // namespace plat
