// Keys as the toolkit sees them: a key press (named key or character, with modifier flags) and the
// keyboard shortcut a button answers to.
#pragma once

#include <cstdint>
#include <string>

namespace plat::ui {

enum class Key { Character, Return, Escape, Tab, Backspace, Delete, Space, Up, Down, Left, Right, Home, End };

enum class KeyModifiers : std::uint8_t { None = 0, Shift = 1, Control = 2, Option = 4, Command = 8 };
constexpr KeyModifiers operator|(KeyModifiers a, KeyModifiers b) {
    return static_cast<KeyModifiers>(static_cast<std::uint8_t>(a) | static_cast<std::uint8_t>(b));
}

struct KeyEvent {
    Key key = Key::Character;
    // The character typed, for Key::Character (UTF-8, one code point).
    std::string character{};
    KeyModifiers modifiers = KeyModifiers::None;

    static KeyEvent named(Key k, KeyModifiers m = KeyModifiers::None) { return {k, {}, m}; }
    static KeyEvent typed(std::string c, KeyModifiers m = KeyModifiers::None) {
        return {Key::Character, std::move(c), m};
    }
    bool operator==(const KeyEvent&) const = default;
};

// What a button answers to. The default action is the Return key, the cancel action the Escape key.
struct KeyboardShortcut {
    KeyEvent event;

    static KeyboardShortcut defaultAction() { return {KeyEvent::named(Key::Return)}; }
    static KeyboardShortcut cancelAction() { return {KeyEvent::named(Key::Escape)}; }
    static KeyboardShortcut key(std::string character, KeyModifiers m = KeyModifiers::Command) {
        return {KeyEvent::typed(std::move(character), m)};
    }
    bool matches(const KeyEvent& e) const { return e == event; }
    // "return", "escape", "cmd+s".
    std::string description() const;
    // As a menu shows it on this desktop, where the command key is Ctrl: "Ctrl+Q", "Shift+Ctrl+Z".
    std::string displayText() const;
    bool operator==(const KeyboardShortcut&) const = default;
};

} // namespace plat::ui
