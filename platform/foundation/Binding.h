// A two-way link to a value kept elsewhere: a getter and a setter. Controls read and write through it
// without knowing where the value lives (a published member, a setting, a field of either).
// A binding does not own what it points at; the target must outlive it.
#pragma once

#include "platform/foundation/Published.h"

#include <functional>
#include <type_traits>
#include <utility>

namespace plat {

template <typename T> class Binding {
public:
    using Getter = std::function<T()>;
    using Setter = std::function<void(const T&)>;

    Binding(Getter get, Setter set) : get_(std::move(get)), set_(std::move(set)) {}

    // A binding that always reads `value` and ignores writes.
    static Binding constant(T value) {
        return Binding([value] { return value; }, [](const T&) {});
    }
    // Reads and assigns `published` (an assignment notifies its subscribers as usual).
    static Binding to(Published<T>& published) {
        return Binding([&published] { return published.get(); },
                       [&published](const T& value) { published.set(value); });
    }

    T get() const { return get_(); }
    T operator()() const { return get_(); }
    void set(const T& value) const { set_(value); }

    // A binding to one field of this binding's value. Writing it reads the whole value, changes the
    // field and writes the whole value back, so the target sees a normal assignment.
    template <typename M, typename U = T>
    requires std::is_class_v<U> Binding<M> member(M U::*field)
    const {
        return Binding<M>([parent = *this, field] { return parent.get().*field; },
                          [parent = *this, field](const M& value) {
                              T whole = parent.get();
                              whole.*field = value;
                              parent.set(whole);
                          });
    }

private:
    Getter get_;
    Setter set_;
};

} // namespace plat
