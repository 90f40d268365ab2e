#include "app/views/SupportMail.h"

#include "app/classes/Preferences.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/foundation/URL.h"
#include "platform/foundation/UserDefaults.h"

#include <cstdlib>

namespace {

constexpr const char* kUnknown = "Unknown";

// "en_US.UTF-8" and "en_US@euro" both give "en-US"; the C locale names no language.
std::optional<std::string> tagFromLocale(std::string locale) {
    if (const size_t cut = locale.find_first_of(".@"); cut != std::string::npos) locale.resize(cut);
    if (locale.empty() || locale == "C" || locale == "POSIX") return std::nullopt;
    for (char& c : locale)
        if (c == '_') c = '-';
    return locale;
}

} // namespace

std::optional<std::string> SupportMail::preferredLanguage() {
    if (const auto* list = plat::UserDefaults::standard().object("AppleLanguages").asArray()) {
        for (const auto& entry : *list)
            if (const auto* tag = entry.asString(); tag && !tag->empty()) return *tag;
    }
    if (const char* languages = std::getenv("LANGUAGE"); languages && *languages) {
        const std::string all = languages;
        if (auto tag = tagFromLocale(all.substr(0, all.find(':')))) return tag;
    }
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (const char* value = std::getenv(name); value && *value) return tagFromLocale(value);
    }
    return std::nullopt;
}

SupportMail::Facts SupportMail::currentFacts() {
    Facts facts;
    facts.platform = plat::ProcessInfo::processInfo().operatingSystemPrettyName();
    facts.appVersion = appVersion(plat::Bundle::main());
    facts.language = preferredLanguage().value_or(kUnknown);
    facts.userName = Preferences::email().value_or(kUnknown);
    return facts;
}

std::string SupportMail::appVersion(const plat::Bundle& bundle) {
    const plat::Object version = bundle.objectForInfoDictionaryKey("CFBundleShortVersionString");
    return version.isString() ? version.string() : kUnknown;
}

std::string SupportMail::address(const plat::Bundle& bundle) {
    const plat::Object configured = bundle.objectForInfoDictionaryKey("VelmoraSupportMail");
    if (configured.isString() && !configured.string().empty()) return configured.string();
    return defaultAddress;
}

std::string SupportMail::body(const Facts& facts) {
    return "\n\nPlatform: " + facts.platform + "\nApp version: " + facts.appVersion +
           "\nDevice language ISO: " + facts.language + "\nUsername: " + facts.userName;
}

std::string SupportMail::encodeQueryValue(std::string_view text) {
    // The host set minus what would end a query value ("&"), split a pair ("=") or read as a
    // space ("+"), and the brackets, which a link may carry only around an IPv6 host.
    static const plat::URLAllowedCharacters allowed =
        plat::URLAllowedCharacters::urlHostAllowed().removing("&=+[]");
    return plat::addingPercentEncoding(text, allowed).value_or("");
}

std::string SupportMail::link(const std::string& address, const Facts& facts) {
    return "mailto:" + address + "?subject=" + encodeQueryValue(subject) +
           "&body=" + encodeQueryValue(body(facts));
}
