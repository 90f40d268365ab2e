#include "platform/ui/KeyEvent.h"

namespace plat::ui {

std::string KeyboardShortcut::description() const {
    std::string s;
    auto has = [&](KeyModifiers m) {
        return (static_cast<std::uint8_t>(event.modifiers) & static_cast<std::uint8_t>(m)) != 0;
    };
    if (has(KeyModifiers::Command)) s += "cmd+";
    if (has(KeyModifiers::Control)) s += "ctrl+";
    if (has(KeyModifiers::Option)) s += "opt+";
    if (has(KeyModifiers::Shift)) s += "shift+";
    switch (event.key) {
    case Key::Character:
        s += event.character;
        break;
    case Key::Return:
        s += "return";
        break;
    case Key::Escape:
        s += "escape";
        break;
    case Key::Tab:
        s += "tab";
        break;
    case Key::Backspace:
        s += "backspace";
        break;
    case Key::Delete:
        s += "delete";
        break;
    case Key::Space:
        s += "space";
        break;
    case Key::Up:
        s += "up";
        break;
    case Key::Down:
        s += "down";
        break;
    case Key::Left:
        s += "left";
        break;
    case Key::Right:
        s += "right";
        break;
    case Key::Home:
        s += "home";
        break;
    case Key::End:
        s += "end";
        break;
    }
    return s;
}

std::string KeyboardShortcut::displayText() const {
    auto has = [&](KeyModifiers m) {
        return (static_cast<std::uint8_t>(event.modifiers) & static_cast<std::uint8_t>(m)) != 0;
    };
    std::string s;
    if (has(KeyModifiers::Shift)) s += "Shift+";
    if (has(KeyModifiers::Option)) s += "Alt+";
    if (has(KeyModifiers::Command) || has(KeyModifiers::Control)) s += "Ctrl+";
    if (event.key != Key::Character) {
        std::string name = description().substr(description().rfind('+') + 1);
        if (!name.empty()) name[0] = static_cast<char>(name[0] - 'a' + 'A');
        return s + name;
    }
    std::string key = event.character;
    if (key.size() == 1 && key[0] >= 'a' && key[0] <= 'z') key[0] = static_cast<char>(key[0] - 'a' + 'A');
    return s + key;
}

} // namespace plat::ui
