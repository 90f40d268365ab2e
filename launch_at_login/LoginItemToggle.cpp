#include "launch_at_login/LoginItemToggle.h"

namespace launch_at_login {

LoginItem::Toggle::Toggle(Label label) : loginItem_(LoginItem::observable()), label_(std::move(label)) {}

LoginItem::Toggle::Toggle() : Toggle(Label{"Launch at login", false}) {}

LoginItem::Toggle::Toggle(std::string title) : Toggle(Label{std::move(title), false}) {}

LoginItem::Toggle LoginItem::Toggle::localized(std::string key) {
    return Toggle(Label{std::move(key), true});
}

LoginItem::Toggle LoginItem::Toggle::withLabel(const std::function<Label()>& buildLabel) {
    return Toggle(buildLabel());
}

} // namespace launch_at_login
