// The keychain store's vocabulary: item classes, protocols, authentication types, accessibility
// levels and authentication-UI modes. Each case's raw value is the security constant it stands
// for; `description` is its short text form. Conversion from a raw value is exact and yields the
// first case whose constant equals the text, or none.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace keychain {

enum class ItemClass { genericPassword, internetPassword };

enum class ProtocolType {
    ftp,
    ftpAccount,
    http,
    irc,
    nntp,
    pop3,
    smtp,
    socks,
    imap,
    ldap,
    appleTalk,
    afp,
    telnet,
    ssh,
    ftps,
    https,
    httpProxy,
    httpsProxy,
    ftpProxy,
    smb,
    rtsp,
    rtspProxy,
    daap,
    eppc,
    ipp,
    nntps,
    ldaps,
    telnetS,
    imaps,
    ircs,
    pop3S
};

// `default_` stands for the case named "default", a reserved word here.
enum class AuthenticationType { ntlm, msn, dpa, rpa, httpBasic, httpDigest, htmlForm, default_ };

enum class Accessibility {
    whenUnlocked,
    afterFirstUnlock,
    always,
    whenPasscodeSetThisDeviceOnly,
    whenUnlockedThisDeviceOnly,
    afterFirstUnlockThisDeviceOnly,
    alwaysThisDeviceOnly
};

// Has a raw value but, unlike the others, no conversion from one.
enum class AuthenticationUI { allow, fail, skip };

const char* rawValue(ItemClass value);
const char* rawValue(ProtocolType value);
const char* rawValue(AuthenticationType value);
const char* rawValue(Accessibility value);
const char* rawValue(AuthenticationUI value);

std::string description(ItemClass value);
std::string description(ProtocolType value);
std::string description(AuthenticationType value);
std::string description(Accessibility value);
std::string description(AuthenticationUI value);

// Conversion from a raw value, for ItemClass, ProtocolType, AuthenticationType and Accessibility.
template <typename E> std::optional<E> fromRawValue(std::string_view raw);
template <> std::optional<ItemClass> fromRawValue<ItemClass>(std::string_view raw);
template <> std::optional<ProtocolType> fromRawValue<ProtocolType>(std::string_view raw);
template <> std::optional<AuthenticationType> fromRawValue<AuthenticationType>(std::string_view raw);
template <> std::optional<Accessibility> fromRawValue<Accessibility>(std::string_view raw);

} // namespace keychain
