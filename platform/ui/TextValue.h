// A text as a screen writes it: a localisation key (looked up through the environment's localiser,
// then its "%@" markers replaced by the arguments in order) or a verbatim string shown as it is.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace plat::ui {

// Looks up a key in the application's strings table; returns the key itself when it has no entry.
using Localizer = std::function<std::string(const std::string& key)>;

class TextValue {
public:
    TextValue() = default;
    // A localisation key.
    TextValue(std::string key) : text_(std::move(key)) {}
    TextValue(const char* key) : text_(key) {}
    // A key with arguments for its "%@" markers, e.g. {"Connected to %@", {"Germany"}}.
    TextValue(std::string key, std::vector<std::string> arguments)
        : text_(std::move(key)), arguments_(std::move(arguments)) {}
    // Shown exactly as given, never looked up.
    static TextValue verbatim(std::string text) {
        TextValue v(std::move(text));
        v.verbatim_ = true;
        return v;
    }

    const std::string& raw() const { return text_; }
    bool isVerbatim() const { return verbatim_; }
    const std::vector<std::string>& arguments() const { return arguments_; }
    bool empty() const { return text_.empty(); }

    // The text to show: verbatim text as is; a key through `localize` (when set), then the
    // arguments substituted for "%@" in order. Surplus markers stay; surplus arguments are dropped.
    std::string resolve(const Localizer& localize) const;

    bool operator==(const TextValue&) const = default;

private:
    std::string text_;
    std::vector<std::string> arguments_;
    bool verbatim_ = false;
};

} // namespace plat::ui
