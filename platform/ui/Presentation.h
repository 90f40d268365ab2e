// What an alert shows: a title, a message and its buttons. Any button closes the alert after its
// action has run; an alert without buttons gets a single "OK".
#pragma once

#include "platform/ui/Styles.h"
#include "platform/ui/TextValue.h"

#include <functional>
#include <vector>

namespace plat::ui {

struct AlertButton {
    TextValue label{};
    ButtonRole role = ButtonRole::None;
    std::function<void()> action{};

    static AlertButton normal(TextValue label, std::function<void()> action = {}) {
        return {std::move(label), ButtonRole::None, std::move(action)};
    }
    static AlertButton destructive(TextValue label, std::function<void()> action = {}) {
        return {std::move(label), ButtonRole::Destructive, std::move(action)};
    }
    static AlertButton cancel(TextValue label, std::function<void()> action = {}) {
        return {std::move(label), ButtonRole::Cancel, std::move(action)};
    }
};

struct Alert {
    TextValue title{};
    TextValue message{};
    std::vector<AlertButton> buttons{};
};

} // namespace plat::ui
