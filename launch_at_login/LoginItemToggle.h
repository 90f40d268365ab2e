// The model of the "launch at login" switch of the settings screen: a label and an on-state bound
// both ways to LoginItem. Reading the state asks the system; switching it registers or
// unregisters. The view toolkit draws it; this type holds no state besides its label.
#pragma once

#include "launch_at_login/LoginItem.h"

#include <functional>
#include <string>

namespace launch_at_login {

class LoginItem::Toggle {
public:
    struct Label {
        std::string text;
        // True when `text` is a key of the main bundle's default string table, false when it is
        // shown verbatim.
        bool localized = false;
        bool operator==(const Label&) const = default;
    };

    // Labelled "Launch at login", verbatim.
    Toggle();
    // Labelled with `title`, verbatim.
    explicit Toggle(std::string title);
    // Labelled with the text found under `key` in the main bundle's default string table.
    static Toggle localized(std::string key);
    // Labelled with what `buildLabel` returns; it runs once, here.
    static Toggle withLabel(const std::function<Label()>& buildLabel);

    const Label& label() const { return label_; }
    // The switch's two-way binding.
    bool isOn() const { return loginItem_.isEnabled(); }
    void setIsOn(bool on) const { loginItem_.setIsEnabled(on); }
    // The shared object the switch observes to redraw.
    const Observable& loginItem() const { return loginItem_; }

private:
    explicit Toggle(Label label);
    const Observable& loginItem_;
    Label label_;
};

} // namespace launch_at_login
