// A value read from the screen's environment when the screen is built, such as the URL-opening
// action: `Environment<&EnvironmentValues::openURL> openURL;` then `openURL()(url)`. A changed value
// reaches the screen when its parent rebuilds it. Outside the view graph it holds the default.
#pragma once

#include "platform/ui/BuildContext.h"

#include <type_traits>
#include <utility>

namespace plat::ui {

template <auto Member> class Environment {
public:
    using Value = std::remove_cvref_t<decltype(std::declval<EnvironmentValues>().*Member)>;

    Environment() {
        if (auto* context = detail::BuildContext::current()) value_ = context->environment().*Member;
    }
    const Value& get() const { return value_; }
    const Value& operator()() const { return value_; }

private:
    Value value_{};
};

} // namespace plat::ui
