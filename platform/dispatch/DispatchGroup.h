// Counts outstanding work: enter/leave pairs, wait with a deadline, and notification blocks that
// are posted when the count returns to zero. Copies refer to the same group.
#pragma once

#include "platform/dispatch/DispatchQueue.h"

#include <optional>

namespace plat {

class DispatchGroup {
public:
    DispatchGroup();
    void enter() const;
    // Leaving more often than entering aborts with a message.
    void leave() const;
    // Posts `block` to `queue` once the group is empty (at once if it is empty now).
    void notify(const DispatchQueue& queue, Block block) const;
    // Blocks until the group is empty or `timeout` (real time) passes; true when it emptied.
    // No timeout waits forever.
    bool wait(std::optional<Duration> timeout = std::nullopt) const;
    // Number of entries not yet left.
    long count() const;

    bool operator==(const DispatchGroup& o) const { return impl_ == o.impl_; }

private:
    struct Impl;
    std::shared_ptr<Impl> impl_;
};

} // namespace plat
