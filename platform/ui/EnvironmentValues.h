// The values a view inherits from its ancestors: font, colours, enabled state, control styles, the
// text localiser, the URL-opening action and the environment objects. A modifier changes them for
// its whole subtree; the innermost setting wins, except `disabled`, which any ancestor can impose.
#pragma once

#include "platform/ui/Color.h"
#include "platform/ui/Font.h"
#include "platform/ui/Styles.h"
#include "platform/ui/TextValue.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <typeindex>

namespace plat::ui {

class TextMetrics;

// Opens a URL the way the application's environment does (the default browser, the mail client).
// Returns whether it was handed on; without a handler it does nothing and returns false. The form
// with a completion also learns whether the desktop opened it: from `outcomeHandler` when the
// environment has one (told later, on the main queue), else at once from `handler`.
struct OpenURLAction {
    std::function<bool(const std::string& url)> handler;
    std::function<void(const std::string& url, std::function<void(bool)> done)> outcomeHandler;
    bool operator()(const std::string& url) const { return handler ? handler(url) : false; }
    void operator()(const std::string& url, std::function<void(bool opened)> done) const {
        if (outcomeHandler) return outcomeHandler(url, std::move(done));
        const bool opened = (*this)(url);
        if (done) done(opened);
    }
};

struct EnvironmentValues {
    Font font;
    std::optional<FontWeight> fontWeight; // set by bold()/fontWeight(); overrides the font's own
    bool italic = false;
    std::optional<Color> foregroundColor;
    bool isEnabled = true;
    ColorScheme colorScheme = ColorScheme::Light;
    ButtonStyle buttonStyle = ButtonStyle::Automatic;
    TextFieldStyle textFieldStyle = TextFieldStyle::Automatic;
    ToggleStyle toggleStyle = ToggleStyle::Automatic;
    PickerStyle pickerStyle = PickerStyle::Automatic;
    MenuStyle menuStyle = MenuStyle::Automatic;
    bool labelsHidden = false;
    // Menus leave out the room for their indicator (a menu bar's titles sit close together).
    bool menuIndicatorHidden = false;
    Localizer localize;
    OpenURLAction openURL;
    // How the tree's window measures text (set by the tree for its whole content).
    std::shared_ptr<const TextMetrics> textMetrics;

    // The font text is drawn in: `font` with `fontWeight` applied.
    Font effectiveFont() const { return fontWeight ? font.weight(*fontWeight) : font; }

    // Environment objects by type. Absent: null.
    template <typename T> std::shared_ptr<T> object() const {
        auto it = objects.find(std::type_index(typeid(T)));
        return it == objects.end() ? nullptr : std::static_pointer_cast<T>(it->second);
    }
    template <typename T> void setObject(std::shared_ptr<T> object) {
        objects[std::type_index(typeid(T))] = std::move(object);
    }
    std::map<std::type_index, std::shared_ptr<void>> objects;
};

} // namespace plat::ui
