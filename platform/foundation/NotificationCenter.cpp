#include "platform/foundation/NotificationCenter.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace plat {

struct NotificationCenter::Observer {
    uint64_t id = 0;
    std::string name;
    Object object;
    std::optional<DispatchQueue> queue;
    Block block;

    // Guards the removal flag and the calls in flight, never the call itself.
    std::mutex mutex;
    std::condition_variable idle;
    bool removed = false;
    std::vector<std::thread::id> callingThreads;

    bool matches(const Notification& n) const {
        return (name.empty() || name == n.name) && (object.isAbsent() || object == n.object);
    }

    void deliver(const Notification& n) {
        {
            std::lock_guard lock(mutex);
            if (removed) return;
            callingThreads.push_back(std::this_thread::get_id());
        }
        struct Done {
            Observer* self;
            ~Done() {
                std::lock_guard lock(self->mutex);
                auto& t = self->callingThreads;
                t.erase(std::find(t.begin(), t.end(), std::this_thread::get_id()));
                self->idle.notify_all();
            }
        } done{this};
        block(n);
    }

    // After this returns the block is not running on any other thread and will not start again.
    // Calls on this thread (the block removing itself, or a nested post) are not waited for.
    void remove() {
        std::unique_lock lock(mutex);
        removed = true;
        const auto self = std::this_thread::get_id();
        idle.wait(lock, [&] {
            return std::all_of(callingThreads.begin(), callingThreads.end(),
                               [&](auto id) { return id == self; });
        });
    }
};

struct NotificationCenter::State {
    std::mutex mutex;
    uint64_t nextId = 1;
    std::vector<std::shared_ptr<Observer>> observers; // registration order
};

namespace {

// What a token owns: removing the observer when the last copy goes.
struct Registration {
    // Spelled out: clang 14 cannot make_shared an aggregate from parentheses.
    Registration(std::weak_ptr<NotificationCenter::State> s, std::shared_ptr<NotificationCenter::Observer> o)
        : state(std::move(s)), observer(std::move(o)) {}
    std::weak_ptr<NotificationCenter::State> state;
    std::shared_ptr<NotificationCenter::Observer> observer;

    ~Registration() {
        // Unlist first so later posts no longer snapshot it, then wait out calls in flight.
        if (auto s = state.lock()) {
            std::lock_guard lock(s->mutex);
            std::erase(s->observers, observer);
        }
        observer->remove();
    }
};

} // namespace

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter* center = new NotificationCenter;
    return *center;
}

NotificationCenter::NotificationCenter() : state_(std::make_shared<State>()) {}

NotificationCenter::~NotificationCenter() = default;

NotificationCenter::Token NotificationCenter::add(std::string name, Object object,
                                                  std::optional<DispatchQueue> queue, Block block) {
    auto observer = std::make_shared<Observer>();
    observer->name = std::move(name);
    observer->object = std::move(object);
    observer->queue = std::move(queue);
    observer->block = std::move(block);
    {
        std::lock_guard lock(state_->mutex);
        observer->id = state_->nextId++;
        state_->observers.push_back(observer);
    }
    return std::make_shared<Registration>(std::weak_ptr<State>(state_), std::move(observer));
}

NotificationCenter::Token NotificationCenter::addObserver(std::string name, Object object, Block block) {
    return add(std::move(name), std::move(object), std::nullopt, std::move(block));
}

NotificationCenter::Token NotificationCenter::addObserver(std::string name, Object object,
                                                          DispatchQueue queue, Block block) {
    return add(std::move(name), std::move(object), std::move(queue), std::move(block));
}

void NotificationCenter::post(const std::string& name, Object object, Object::Dict userInfo) {
    post(Notification{name, std::move(object), std::move(userInfo)});
}

void NotificationCenter::post(const Notification& notification) {
    // The snapshot keeps each observer (and its block) alive through its own call, even when its
    // token is destroyed meanwhile; the lock is released before any block runs.
    std::vector<std::shared_ptr<Observer>> matching;
    {
        std::lock_guard lock(state_->mutex);
        for (const auto& o : state_->observers)
            if (o->matches(notification)) matching.push_back(o);
    }
    for (const auto& o : matching) {
        if (o->queue) {
            o->queue->async([o, notification] { o->deliver(notification); });
        } else {
            o->deliver(notification);
        }
    }
}

} // namespace plat
