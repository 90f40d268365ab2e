#include "platform/ui/Styles.h"

namespace plat::ui {

const char* name(ButtonStyle s) {
    switch (s) {
    case ButtonStyle::Automatic:
        return "automatic";
    case ButtonStyle::Plain:
        return "plain";
    case ButtonStyle::Borderless:
        return "borderless";
    case ButtonStyle::Bordered:
        return "bordered";
    case ButtonStyle::Link:
        return "link";
    }
    return "?";
}
const char* name(ButtonRole r) {
    switch (r) {
    case ButtonRole::None:
        return "none";
    case ButtonRole::Cancel:
        return "cancel";
    case ButtonRole::Destructive:
        return "destructive";
    }
    return "?";
}
const char* name(TextFieldStyle s) {
    switch (s) {
    case TextFieldStyle::Automatic:
        return "automatic";
    case TextFieldStyle::Plain:
        return "plain";
    case TextFieldStyle::RoundedBorder:
        return "roundedBorder";
    }
    return "?";
}
const char* name(ToggleStyle s) {
    switch (s) {
    case ToggleStyle::Automatic:
        return "automatic";
    case ToggleStyle::Switch:
        return "switch";
    case ToggleStyle::Checkbox:
        return "checkbox";
    }
    return "?";
}
const char* name(PickerStyle s) {
    switch (s) {
    case PickerStyle::Automatic:
        return "automatic";
    case PickerStyle::Menu:
        return "menu";
    case PickerStyle::Segmented:
        return "segmented";
    case PickerStyle::Radio:
        return "radio";
    }
    return "?";
}
const char* name(MenuStyle s) {
    switch (s) {
    case MenuStyle::Automatic:
        return "automatic";
    case MenuStyle::BorderlessButton:
        return "borderlessButton";
    case MenuStyle::Button:
        return "button";
    }
    return "?";
}
const char* name(ColorScheme s) {
    return s == ColorScheme::Light ? "light" : "dark";
}

} // namespace plat::ui
