// A weak handle from stored state back to the place in the view graph that owns it: changing the
// state invalidates that place so the next update pass rebuilds it. Safe to keep after the place is
// gone (it then does nothing) and to call from any thread (it hops to the main queue).
#pragma once

#include <atomic>
#include <functional>
#include <memory>

namespace plat::ui::detail {

class NodeLink : public std::enable_shared_from_this<NodeLink> {
public:
    explicit NodeLink(std::function<void()> markDirty) : markDirty_(std::move(markDirty)) {}

    // Asks for a rebuild of the owning place in the next update pass.
    void invalidate();
    bool isAlive() const { return alive_.load(std::memory_order_acquire); }
    // Called by the graph when the place leaves the tree (main thread).
    void kill() {
        alive_.store(false, std::memory_order_release);
        markDirty_ = nullptr;
    }

private:
    std::atomic<bool> alive_{true};
    std::function<void()> markDirty_; // main thread only
};

} // namespace plat::ui::detail
