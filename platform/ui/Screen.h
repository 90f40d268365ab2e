// The base of every screen and reusable piece of screen: a type whose `body` returns a view tree.
// Screens are placed in a tree with `make<T>(args...)`; the view graph constructs them there, once
// each time the parent builds, so their state members (State, StateObject, ObservedObject,
// EnvironmentObject, AppStorage, Environment) attach to the storage of their place in the tree and
// survive rebuilds. The instance of a place stays the same while the place lives (each rebuild
// assigns the new values into it), so actions in a body may capture `this`, also blocks they queue
// on the main queue; after the place leaves the tree the instance lives one more main-queue turn.
// Work that may run later than that captures the state members by value instead (they share
// their storage).
//
// Main thread only.
#pragma once

#include "platform/ui/AnyView.h"
#include "platform/ui/ViewData.h"

#include <concepts>
#include <memory>
#include <tuple>
#include <type_traits>
#include <typeindex>
#include <utility>

namespace plat::ui {

class Screen {
public:
    virtual ~Screen() = default;
    // The content. Called by the view graph only when the screen was invalidated or rebuilt by its
    // parent, never per frame. An exception leaves the screen's place empty and is logged.
    virtual AnyView body() const = 0;

protected:
    Screen() = default;
    Screen(const Screen&) = default;
    Screen& operator=(const Screen&) = default;
    Screen(Screen&&) = default;
    Screen& operator=(Screen&&) = default;
};

namespace detail {
AnyView makeComponent(ComponentSpec desc);
}

// A screen of type T built from `args` (copied, and handed to T's constructor each time the parent
// builds). When every argument is equality-comparable and equals the one of the previous build,
// and nothing of the screen's own (state, observed objects, environment) changed, the screen keeps
// its body instead: a body must depend on nothing else. Arguments that cannot be compared (plain
// closures, say) rebuild it every time.
template <typename T, typename... Args>
requires std::is_base_of_v<Screen, T> AnyView make(Args&&... args) {
    using Arguments = std::tuple<std::decay_t<Args>...>;
    auto arguments = std::make_shared<const Arguments>(std::decay_t<Args>(std::forward<Args>(args))...);
    ComponentSpec desc;
    desc.type = std::type_index(typeid(T));
    desc.info = &typeid(T);
    desc.construct = [arguments]() {
        return std::apply(
            [](const auto&... a) -> std::unique_ptr<Screen> { return std::make_unique<T>(a...); },
            *arguments);
    };
    desc.assign = [](Screen& existing, Screen& fresh) {
        if constexpr (std::is_move_assignable_v<T>) {
            static_cast<T&>(existing) = std::move(static_cast<T&>(fresh));
            return true;
        } else {
            return false;
        }
    };
    // Equal arguments let the view graph keep the body it built last time (see ViewGraph::build).
    if constexpr ((std::equality_comparable<std::decay_t<Args>> && ...)) {
        desc.sameArguments = [](const void* a, const void* b) {
            return *static_cast<const Arguments*>(a) == *static_cast<const Arguments*>(b);
        };
    }
    desc.argumentsType = std::type_index(typeid(Arguments));
    desc.arguments = std::move(arguments);
    return detail::makeComponent(std::move(desc));
}

} // namespace plat::ui
