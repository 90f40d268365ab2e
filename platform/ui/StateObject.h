// An object a screen owns: made once, when the screen's place in the tree is first built, and kept
// until that place leaves the tree (it is released at the end of that update pass). When the object
// is observable, its objectWillChange rebuilds the screen.
//
// Main thread only.
#pragma once

#include "platform/foundation/ObservableObject.h"
#include "platform/ui/BuildContext.h"

#include <concepts>
#include <functional>
#include <memory>
#include <type_traits>

namespace plat::ui {

namespace detail {
// Rebuilds the place behind `link` whenever `object` announces a change (when it is observable).
template <typename T>
AnyCancellable observe(const std::shared_ptr<T>& object, const std::shared_ptr<NodeLink>& link) {
    if constexpr (std::is_base_of_v<ObservableObject, T>) {
        if (!object || !link) return {};
        std::weak_ptr<NodeLink> weak = link;
        return object->objectWillChange().sink([weak] {
            if (auto l = weak.lock()) l->invalidate();
        });
    } else {
        return {};
    }
}
} // namespace detail

template <typename T> class StateObject {
public:
    // A template so that the constraint is checked only where it is used: a screen may hold a
    // StateObject of a type that is still incomplete in its header.
    template <typename U = T>
    requires std::default_initializable<U> StateObject()
        : StateObject([] { return std::make_shared<U>(); }) {}
    // `make` runs only when the place is new.
    explicit StateObject(std::function<std::shared_ptr<T>()> make) {
        if (auto* context = detail::BuildContext::current()) {
            auto link = context->link();
            box_ = context->slot<Box>([&] {
                auto box = std::make_shared<Box>();
                box->object = make();
                box->subscription = detail::observe(box->object, link);
                return box;
            });
        } else {
            box_ = std::make_shared<Box>();
            box_->object = make();
        }
    }

    T* operator->() const { return box_->object.get(); }
    T& operator*() const { return *box_->object; }
    const std::shared_ptr<T>& get() const { return box_->object; }

private:
    struct Box {
        std::shared_ptr<T> object;
        AnyCancellable subscription;
    };
    std::shared_ptr<Box> box_;
};

} // namespace plat::ui
