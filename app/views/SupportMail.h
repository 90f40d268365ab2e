// The support e-mail of the account menu: a mail link to the support mailbox whose subject and
// body are prefilled with the platform facts the support team asks for (the system and its version,
// application version, language and the signed-in user). Building the text is pure; reading the facts touches
// the bundle, the user defaults, the environment and the keychain. Any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace plat {
class Bundle;
}

class SupportMail {
public:
    SupportMail() = delete;

    // What the body reports; every piece already has its fallback.
    struct Facts {
        std::string platform;   // the system and its version: "Debian GNU/Linux 12 (bookworm)"
        std::string appVersion; // the bundle's short version, else "Unknown"
        std::string language;   // the first preferred language tag, else "Unknown"
        std::string userName;   // the keychain "email", else "Unknown"
    };

    static constexpr const char* subject = "Velmora Support ticket";
    // The support team's mailbox.
    static constexpr const char* defaultAddress = "support@velmora.example";

    // The facts of this machine and session; the system as os-release names it
    // (ProcessInfo::operatingSystemPrettyName).
    static Facts currentFacts();
    // The bundle's "CFBundleShortVersionString" when it is a string, else "Unknown".
    static std::string appVersion(const plat::Bundle& bundle);
    // The mailbox the link goes to: the bundle's "VelmoraSupportMail", else defaultAddress.
    static std::string address(const plat::Bundle& bundle);
    // The first of the user's preferred languages as a tag ("en-US"): the "AppleLanguages" setting,
    // else the system's locale; none when neither names one.
    static std::optional<std::string> preferredLanguage();

    // "\n\nPlatform: <platform>\nApp version: <app>\nDevice language ISO: <lang>\nUsername: <user>".
    static std::string body(const Facts& facts);
    // Percent-encodes a query value as UTF-8: only letters, digits and !$'()*,-.:;_~ stay as they
    // are, so "&", "=", "+" and brackets inside the value cannot end or corrupt it. Empty when
    // the text is not valid UTF-8.
    static std::string encodeQueryValue(std::string_view text);
    // "mailto:<address>?subject=<encoded subject>&body=<encoded body>".
    static std::string link(const std::string& address, const Facts& facts);
};
