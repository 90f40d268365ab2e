#include "keychain/KeychainEnums.h"

#include "platform/security/SecItem.h"

#include <array>
#include <iterator>

namespace keychain {

namespace {

template <typename E> struct Row {
    E value;
    const char* raw;
    const char* text;
};

using namespace plat;

constexpr Row<ItemClass> kItemClasses[] = {
    {ItemClass::genericPassword, kSecClassGenericPassword, "GenericPassword"},
    {ItemClass::internetPassword, kSecClassInternetPassword, "InternetPassword"},
};

constexpr Row<ProtocolType> kProtocols[] = {
    {ProtocolType::ftp, kSecAttrProtocolFTP, "FTP"},
    {ProtocolType::ftpAccount, kSecAttrProtocolFTPAccount, "FTPAccount"},
    {ProtocolType::http, kSecAttrProtocolHTTP, "HTTP"},
    {ProtocolType::irc, kSecAttrProtocolIRC, "IRC"},
    {ProtocolType::nntp, kSecAttrProtocolNNTP, "NNTP"},
    {ProtocolType::pop3, kSecAttrProtocolPOP3, "POP3"},
    {ProtocolType::smtp, kSecAttrProtocolSMTP, "SMTP"},
    {ProtocolType::socks, kSecAttrProtocolSOCKS, "SOCKS"},
    {ProtocolType::imap, kSecAttrProtocolIMAP, "IMAP"},
    {ProtocolType::ldap, kSecAttrProtocolLDAP, "LDAP"},
    {ProtocolType::appleTalk, kSecAttrProtocolAppleTalk, "AppleTalk"},
    {ProtocolType::afp, kSecAttrProtocolAFP, "AFP"},
    {ProtocolType::telnet, kSecAttrProtocolTelnet, "Telnet"},
    {ProtocolType::ssh, kSecAttrProtocolSSH, "SSH"},
    {ProtocolType::ftps, kSecAttrProtocolFTPS, "FTPS"},
    {ProtocolType::https, kSecAttrProtocolHTTPS, "HTTPS"},
    {ProtocolType::httpProxy, kSecAttrProtocolHTTPProxy, "HTTPProxy"},
    {ProtocolType::httpsProxy, kSecAttrProtocolHTTPSProxy, "HTTPSProxy"},
    {ProtocolType::ftpProxy, kSecAttrProtocolFTPProxy, "FTPProxy"},
    {ProtocolType::smb, kSecAttrProtocolSMB, "SMB"},
    {ProtocolType::rtsp, kSecAttrProtocolRTSP, "RTSP"},
    {ProtocolType::rtspProxy, kSecAttrProtocolRTSPProxy, "RTSPProxy"},
    {ProtocolType::daap, kSecAttrProtocolDAAP, "DAAP"},
    {ProtocolType::eppc, kSecAttrProtocolEPPC, "EPPC"},
    {ProtocolType::ipp, kSecAttrProtocolIPP, "IPP"},
    {ProtocolType::nntps, kSecAttrProtocolNNTPS, "NNTPS"},
    {ProtocolType::ldaps, kSecAttrProtocolLDAPS, "LDAPS"},
    {ProtocolType::telnetS, kSecAttrProtocolTelnetS, "TelnetS"},
    {ProtocolType::imaps, kSecAttrProtocolIMAPS, "IMAPS"},
    {ProtocolType::ircs, kSecAttrProtocolIRCS, "IRCS"},
    {ProtocolType::pop3S, kSecAttrProtocolPOP3S, "POP3S"},
};

constexpr Row<AuthenticationType> kAuthenticationTypes[] = {
    {AuthenticationType::ntlm, kSecAttrAuthenticationTypeNTLM, "NTLM"},
    {AuthenticationType::msn, kSecAttrAuthenticationTypeMSN, "MSN"},
    {AuthenticationType::dpa, kSecAttrAuthenticationTypeDPA, "DPA"},
    {AuthenticationType::rpa, kSecAttrAuthenticationTypeRPA, "RPA"},
    {AuthenticationType::httpBasic, kSecAttrAuthenticationTypeHTTPBasic, "HTTPBasic"},
    {AuthenticationType::httpDigest, kSecAttrAuthenticationTypeHTTPDigest, "HTTPDigest"},
    {AuthenticationType::htmlForm, kSecAttrAuthenticationTypeHTMLForm, "HTMLForm"},
    {AuthenticationType::default_, kSecAttrAuthenticationTypeDefault, "Default"},
};

constexpr Row<Accessibility> kAccessibilities[] = {
    {Accessibility::whenUnlocked, kSecAttrAccessibleWhenUnlocked, "WhenUnlocked"},
    {Accessibility::afterFirstUnlock, kSecAttrAccessibleAfterFirstUnlock, "AfterFirstUnlock"},
    {Accessibility::always, kSecAttrAccessibleAlways, "Always"},
    {Accessibility::whenPasscodeSetThisDeviceOnly, kSecAttrAccessibleWhenPasscodeSetThisDeviceOnly,
     "WhenPasscodeSetThisDeviceOnly"},
    {Accessibility::whenUnlockedThisDeviceOnly, kSecAttrAccessibleWhenUnlockedThisDeviceOnly,
     "WhenUnlockedThisDeviceOnly"},
    {Accessibility::afterFirstUnlockThisDeviceOnly, kSecAttrAccessibleAfterFirstUnlockThisDeviceOnly,
     "AfterFirstUnlockThisDeviceOnly"},
    {Accessibility::alwaysThisDeviceOnly, kSecAttrAccessibleAlwaysThisDeviceOnly, "AlwaysThisDeviceOnly"},
};

constexpr Row<AuthenticationUI> kAuthenticationUIs[] = {
    {AuthenticationUI::allow, kSecUseAuthenticationUIAllow, "allow"},
    {AuthenticationUI::fail, kSecUseAuthenticationUIFail, "fail"},
    {AuthenticationUI::skip, kSecUseAuthenticationUISkip, "skip"},
};

// The tables are in case order, so a case's row is at its own index.
template <typename E, size_t N> const Row<E>& row(const Row<E> (&rows)[N], E value) {
    return rows[static_cast<size_t>(value)];
}

template <typename E, size_t N> std::optional<E> lookup(const Row<E> (&rows)[N], std::string_view raw) {
    for (const auto& r : rows)
        if (raw == r.raw) return r.value;
    return std::nullopt;
}

} // namespace

const char* rawValue(ItemClass v) {
    return row(kItemClasses, v).raw;
}
const char* rawValue(ProtocolType v) {
    return row(kProtocols, v).raw;
}
const char* rawValue(AuthenticationType v) {
    return row(kAuthenticationTypes, v).raw;
}
const char* rawValue(Accessibility v) {
    return row(kAccessibilities, v).raw;
}
const char* rawValue(AuthenticationUI v) {
    return row(kAuthenticationUIs, v).raw;
}

std::string description(ItemClass v) {
    return row(kItemClasses, v).text;
}
std::string description(ProtocolType v) {
    return row(kProtocols, v).text;
}
std::string description(AuthenticationType v) {
    return row(kAuthenticationTypes, v).text;
}
std::string description(Accessibility v) {
    return row(kAccessibilities, v).text;
}
std::string description(AuthenticationUI v) {
    return row(kAuthenticationUIs, v).text;
}

template <> std::optional<ItemClass> fromRawValue<ItemClass>(std::string_view raw) {
    return lookup(kItemClasses, raw);
}
template <> std::optional<ProtocolType> fromRawValue<ProtocolType>(std::string_view raw) {
    return lookup(kProtocols, raw);
}
template <> std::optional<AuthenticationType> fromRawValue<AuthenticationType>(std::string_view raw) {
    return lookup(kAuthenticationTypes, raw);
}
template <> std::optional<Accessibility> fromRawValue<Accessibility>(std::string_view raw) {
    return lookup(kAccessibilities, raw);
}

} // namespace keychain
