// In-process broadcast of named notifications. Observers are called synchronously on the posting
// thread, in registration order, or asynchronously on a queue of their choosing. Thread-safe.
#pragma once

#include "platform/dispatch/DispatchQueue.h"
#include "platform/object/Object.h"

#include <functional>
#include <memory>
#include <string>

namespace plat {

struct Notification {
    std::string name;
    Object object; // the sender; may be absent or opaque
    Object::Dict userInfo;
};

class NotificationCenter {
public:
    // The process-wide centre; never destroyed.
    static NotificationCenter& defaultCenter();
    // A private centre (tests, or a component's own broadcasts).
    NotificationCenter();
    ~NotificationCenter();
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    using Block = std::function<void(const Notification&)>;
    // Keeps an observer registered; destroying the last copy removes it. Once the token is gone
    // the block is not called again, and any call running on another thread has finished. A block
    // may destroy its own token while it runs.
    using Token = std::shared_ptr<void>;

    // Observes `name` (empty: every name) from `object` (absent: any sender; otherwise matched by
    // Object equality, opaque senders by identity).
    [[nodiscard]] Token addObserver(std::string name, Object object, Block block);
    // The same, but each delivery is queued on `queue`. A delivery still waiting when the token is
    // destroyed is dropped.
    [[nodiscard]] Token addObserver(std::string name, Object object, DispatchQueue queue, Block block);

    // Delivers to every matching observer registered when the post starts. Observers removed
    // during the delivery (by any thread or another observer) are skipped from then on.
    void post(const std::string& name, Object object = {}, Object::Dict userInfo = {});
    void post(const Notification& notification);

    struct Observer;
    struct State;

private:
    Token add(std::string name, Object object, std::optional<DispatchQueue> queue, Block block);
    std::shared_ptr<State> state_;
};

} // namespace plat
