// A screen's own value, kept by the place of the screen in the tree: it survives rebuilds of the
// screen (the initial value given on later constructions is ignored) and starts afresh when the
// place is new, for example after a changed branch or id. Setting it rebuilds the screen in the next
// update pass; setting an equal value (for comparable types) changes nothing.
//
// Copies share the value, so a copy captured by an action reads and writes the same state. Main
// thread only.
#pragma once

#include "platform/foundation/Binding.h"
#include "platform/ui/BuildContext.h"

#include <concepts>
#include <memory>
#include <utility>

namespace plat::ui {

template <typename T> class State {
public:
    State() requires std::default_initializable<T> : State(T{}) {}
    State(T initial) {
        if (auto* context = detail::BuildContext::current()) {
            box_ = context->slot<Box>([&] { return std::make_shared<Box>(std::move(initial)); });
            box_->link = context->link();
        } else {
            box_ = std::make_shared<Box>(std::move(initial));
        }
    }

    T get() const { return box_->value; }
    T operator()() const { return box_->value; }

    void set(T value) const {
        if constexpr (std::equality_comparable<T>) {
            if (box_->value == value) return;
        }
        box_->value = std::move(value);
        invalidate();
    }
    // Changes the value in place, then rebuilds.
    template <typename F> void modify(F&& change) const {
        std::forward<F>(change)(box_->value);
        invalidate();
    }
    void toggle() const requires std::same_as<T, bool> { set(!box_->value); }

    // A two-way link to this state for a control or a child screen.
    Binding<T> binding() const {
        return Binding<T>([box = box_] { return box->value; },
                          [state = *this](const T& value) { state.set(value); });
    }

private:
    struct Box {
        explicit Box(T v) : value(std::move(v)) {}
        T value;
        std::weak_ptr<detail::NodeLink> link;
    };
    void invalidate() const {
        if (auto link = box_->link.lock()) link->invalidate();
    }
    std::shared_ptr<Box> box_;
};

} // namespace plat::ui
