// Factories for the controls: buttons, text and secure fields, toggles, pickers and menus. Each
// reads and writes the screen's data through a binding, and takes its style and enabled state from
// the environment.
#pragma once

#include "platform/ui/AnyView.h"

#include <functional>
#include <vector>

namespace plat::ui {

// A button titled with a localisation key.
AnyView Button(TextValue title, std::function<void()> action);
AnyView Button(TextValue title, ButtonRole role, std::function<void()> action);
// A button with any label.
AnyView Button(std::function<void()> action, AnyView label);

// A single-line text field; `placeholder` shows while the text is empty.
AnyView TextField(TextValue placeholder, Binding<std::string> text);
// A masked text field.
AnyView SecureField(TextValue placeholder, Binding<std::string> text);

// A switch or checkbox (by the environment's toggle style) with a text label.
AnyView Toggle(TextValue label, Binding<bool> isOn);
AnyView Toggle(Binding<bool> isOn, AnyView label);

// A choice among `entries`, each a view carrying a tag (`Text("English").tag("en")`). The entry
// whose tag equals the selection shows as chosen; none may match.
AnyView Picker(TextValue label, Binding<Tag> selection, std::vector<AnyView> entries);
template <typename T> AnyView Picker(TextValue label, Binding<T> selection, std::vector<AnyView> entries) {
    Binding<Tag> tags([selection] { return TagTraits<T>::toTag(selection.get()); },
                      [selection](const Tag& t) {
                          if (auto v = TagTraits<T>::fromTag(t)) selection.set(*v);
                      });
    return Picker(std::move(label), std::move(tags), std::move(entries));
}

// A pop-up menu: `label` is shown, `items` (buttons, dividers, nested menus) appear when opened.
AnyView Menu(AnyView label, std::vector<AnyView> items);
AnyView Menu(TextValue title, std::vector<AnyView> items);

} // namespace plat::ui
