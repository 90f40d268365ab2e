// The place in the view graph whose screen is being constructed. State members of a screen find
// their storage here: the n-th member constructed gets the n-th slot of the place, made on first use
// and kept across rebuilds. Outside a construction (a screen built by hand, say in a test) members
// keep their own storage and nothing is observed.
#pragma once

#include "platform/ui/EnvironmentValues.h"
#include "platform/ui/NodeLink.h"

#include <memory>
#include <typeindex>
#include <vector>

namespace plat::ui::detail {

struct Slot {
    std::type_index type = std::type_index(typeid(void));
    std::shared_ptr<void> value;
};

class BuildContext {
public:
    BuildContext(std::vector<Slot>& slots, const EnvironmentValues& environment,
                 std::shared_ptr<NodeLink> link)
        : slots_(slots), environment_(environment), link_(std::move(link)) {}

    // The construction running on this thread, or null.
    static BuildContext* current();

    // The next slot, of type S: the stored one when it exists with this type, else `create()`.
    // Also says whether it was just made.
    template <typename S, typename Create> std::shared_ptr<S> slot(Create create, bool* created = nullptr) {
        const std::type_index type(typeid(S));
        const std::size_t index = next_++;
        if (index < slots_.size() && slots_[index].type == type && slots_[index].value) {
            if (created) *created = false;
            return std::static_pointer_cast<S>(slots_[index].value);
        }
        std::shared_ptr<S> made = create();
        if (index >= slots_.size()) slots_.resize(index + 1);
        slots_[index] = Slot{type, made};
        if (created) *created = true;
        return made;
    }

    const EnvironmentValues& environment() const { return environment_; }
    const std::shared_ptr<NodeLink>& link() const { return link_; }

    // Makes this the current construction for its lifetime.
    class Scope {
    public:
        explicit Scope(BuildContext& context);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        BuildContext* previous_;
    };

private:
    std::vector<Slot>& slots_;
    const EnvironmentValues& environment_;
    std::shared_ptr<NodeLink> link_;
    std::size_t next_ = 0;
};

} // namespace plat::ui::detail
