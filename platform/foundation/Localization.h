// The application's strings tables: resources/strings/<language>.json in the bundle, each a JSON
// object from the English text (the key) to the text shown. The language is chosen once, on first
// use, as the platform does at launch: the first entry of the "AppleLanguages" user default that has
// a table (an exact tag such as "es-MX", then its language part "es"), else the system's language
// ($LANGUAGE, $LC_ALL, $LC_MESSAGES, $LANG), else "en". A key without an entry shows as itself.
// Thread-safe; created on first use, never destroyed.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace plat {

class Localization {
public:
    static Localization& shared();
    Localization(const Localization&) = delete;
    Localization& operator=(const Localization&) = delete;

    // The language whose table is used ("en" when no better one has a table).
    std::string language();
    // The text for `key` in that language, or the key itself.
    std::string string(const std::string& key);
    // The text for `key` with its "%@" placeholders filled in order from `args` ("%1$@" names an
    // argument by position, "%%" is a percent sign). Missing arguments leave the empty string.
    std::string format(const std::string& key, const std::vector<std::string>& args);

    // The languages that have a table in the bundle, sorted.
    std::vector<std::string> availableLanguages() const;
    // Test hook: choose the language again on next use and reread the table.
    void resetForTesting();

private:
    Localization() = default;
    void load();
    std::mutex mutex_;
    bool loaded_ = false;
    std::string language_;
    std::map<std::string, std::string> table_;
};

// Fills "%@" placeholders (see Localization::format) in any text.
std::string fillPlaceholders(const std::string& text, const std::vector<std::string>& args);

// The shown text for a key of the strings table.
inline std::string LocalizedString(const std::string& key) {
    return Localization::shared().string(key);
}
inline std::string LocalizedFormat(const std::string& key, const std::vector<std::string>& args) {
    return Localization::shared().format(key, args);
}

} // namespace plat
