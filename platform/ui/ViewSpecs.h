// The parameter records that modifiers store in a view value: frame rules, shadows, and the
// type-erased receive and change hooks the update pass runs.
#pragma once

#include "platform/foundation/Cancellable.h"
#include "platform/ui/Color.h"
#include "platform/ui/LayoutValues.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace plat::ui {

// A frame's rules. Fixed `width`/`height` replace the child's size; the min/ideal/max bounds clamp
// what the child gets offered and what the frame reports (a max of `infinity` takes all the offered
// space). The child is placed inside by `alignment`. With `fixedHeight`, the
// frame is as high as its child wants at the width it gets, whatever height it is offered: text
// that wraps keeps every line and the stacks around it make room for them.
struct FrameSpec {
    std::optional<double> width{};
    std::optional<double> height{};
    std::optional<double> minWidth{};
    std::optional<double> idealWidth{};
    std::optional<double> maxWidth{};
    std::optional<double> minHeight{};
    std::optional<double> idealHeight{};
    std::optional<double> maxHeight{};
    Alignment alignment{};
    bool fixedHeight = false;
    bool operator==(const FrameSpec&) const = default;
};

struct ShadowSpec {
    Color color = Color::black().opacity(0.33);
    double radius = 0;
    double x = 0;
    double y = 0;
    bool operator==(const ShadowSpec&) const = default;
};

namespace detail {

// A subscription made once per identity. `source` (with `sourceName`, for named notifications)
// names the publisher: a different one re-subscribes. `subscribe` hands each value (by address) to its
// callback; `action` is the latest body's reaction, swapped in on every rebuild while the subscription stays.
struct ReceiveSpec {
    const void* source = nullptr;
    std::string sourceName;
    std::function<AnyCancellable(std::function<void(const void*)>)> subscribe;
    std::function<void(const void*)> action;
};

// A watched value: `action` runs in the update pass when `value` differs from the one seen before.
struct ChangeSpec {
    std::shared_ptr<const void> value;
    std::function<bool(const void*, const void*)> equal;
    std::function<void(const void*)> action;
};

} // namespace detail
} // namespace plat::ui
