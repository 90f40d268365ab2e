// An observable object a screen is handed and does not own: its objectWillChange rebuilds the
// screen. The subscription belongs to the screen's place in the tree; it moves to a new object when
// the parent hands a different one.
//
// Main thread only.
#pragma once

#include "platform/ui/StateObject.h"

#include <memory>

namespace plat::ui {

template <typename T> class ObservedObject {
public:
    ObservedObject(std::shared_ptr<T> object) : object_(std::move(object)) {
        if (auto* context = detail::BuildContext::current()) {
            auto slot = context->slot<Observation>([] { return std::make_shared<Observation>(); });
            // Compared through a weak reference: a new object at a freed one's address is new.
            if (slot->observed.lock() != object_) {
                slot->observed = object_;
                slot->subscription = detail::observe(object_, context->link());
            }
        }
    }

    T* operator->() const { return object_.get(); }
    T& operator*() const { return *object_; }
    const std::shared_ptr<T>& get() const { return object_; }

private:
    struct Observation {
        std::weak_ptr<T> observed;
        AnyCancellable subscription;
    };
    std::shared_ptr<T> object_;
};

} // namespace plat::ui
