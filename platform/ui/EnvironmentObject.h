// An object an ancestor put in the environment with `environmentObject(...)`, found by its type and
// observed like an ObservedObject. Reading it where no ancestor provided one throws
// MissingEnvironmentObject (the screen's place then stays empty and the fault is logged) instead of
// crashing the process.
//
// Main thread only.
#pragma once

#include "platform/ui/StateObject.h"
#include "platform/ui/TypeName.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <typeinfo>

namespace plat::ui {

class MissingEnvironmentObject : public std::logic_error {
public:
    explicit MissingEnvironmentObject(const std::string& typeName)
        : std::logic_error("no environment object of type " + typeName + " above this screen") {}
};

template <typename T> class EnvironmentObject {
public:
    EnvironmentObject() {
        if (auto* context = detail::BuildContext::current()) {
            object_ = context->environment().template object<T>();
            auto slot = context->slot<Observation>([] { return std::make_shared<Observation>(); });
            // Compared through a weak reference: a new object at a freed one's address is new.
            if (slot->observed.lock() != object_) {
                slot->observed = object_;
                slot->subscription = detail::observe(object_, context->link());
            }
        }
    }

    T* operator->() const { return &require(); }
    T& operator*() const { return require(); }
    // The object, or null when none was provided.
    const std::shared_ptr<T>& get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }

private:
    struct Observation {
        std::weak_ptr<T> observed;
        AnyCancellable subscription;
    };
    T& require() const {
        if (!object_) throw MissingEnvironmentObject(detail::typeName(typeid(T)));
        return *object_;
    }
    std::shared_ptr<T> object_;
};

} // namespace plat::ui
