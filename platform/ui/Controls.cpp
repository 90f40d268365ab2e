#include "platform/ui/Controls.h"

#include "platform/ui/ViewData.h"
#include "platform/ui/Views.h"

namespace plat::ui {

AnyView Button(TextValue title, std::function<void()> action) {
    return Button(std::move(title), ButtonRole::None, std::move(action));
}

AnyView Button(TextValue title, ButtonRole role, std::function<void()> action) {
    auto d = makeViewData(ViewKind::Button);
    d->text = title;
    d->controls->role = role;
    d->controls->action = std::move(action);
    d->children = {Text(std::move(title))};
    return AnyView(std::move(d));
}

AnyView Button(std::function<void()> action, AnyView label) {
    auto d = makeViewData(ViewKind::Button);
    d->controls->action = std::move(action);
    d->children = {std::move(label)};
    return AnyView(std::move(d));
}

AnyView TextField(TextValue placeholder, Binding<std::string> text) {
    auto d = makeViewData(ViewKind::TextField);
    d->text = std::move(placeholder);
    d->controls->textBinding = std::move(text);
    return AnyView(std::move(d));
}

AnyView SecureField(TextValue placeholder, Binding<std::string> text) {
    auto d = makeViewData(ViewKind::SecureField);
    d->text = std::move(placeholder);
    d->controls->textBinding = std::move(text);
    return AnyView(std::move(d));
}

AnyView Toggle(TextValue label, Binding<bool> isOn) {
    auto d = makeViewData(ViewKind::Toggle);
    d->text = label;
    d->controls->boolBinding = std::move(isOn);
    d->children = {Text(std::move(label))};
    return AnyView(std::move(d));
}

AnyView Toggle(Binding<bool> isOn, AnyView label) {
    auto d = makeViewData(ViewKind::Toggle);
    d->controls->boolBinding = std::move(isOn);
    d->children = {std::move(label)};
    return AnyView(std::move(d));
}

AnyView Picker(TextValue label, Binding<Tag> selection, std::vector<AnyView> entries) {
    auto d = makeViewData(ViewKind::Picker);
    d->text = std::move(label);
    d->controls->tagBinding = std::move(selection);
    d->children = std::move(entries);
    return AnyView(std::move(d));
}

AnyView Menu(AnyView label, std::vector<AnyView> items) {
    auto d = makeViewData(ViewKind::Menu);
    d->children.reserve(items.size() + 1);
    d->children.push_back(std::move(label));
    for (auto& item : items)
        d->children.push_back(std::move(item));
    return AnyView(std::move(d));
}

AnyView Menu(TextValue title, std::vector<AnyView> items) {
    AnyView menu = Menu(Text(title), std::move(items));
    auto d = std::make_shared<ViewData>(menu.data());
    d->text = std::move(title);
    return AnyView(std::move(d));
}

} // namespace plat::ui
