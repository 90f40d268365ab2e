#include "platform/foundation/URL.h"

#include "platform/foundation/Text.h"

#include <cctype>

namespace plat {

namespace {

bool isAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
int hexValue(char c) {
    if (isDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

constexpr std::string_view kAlphanumerics = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

const URLAllowedCharacters& makeSet(std::string_view punctuation) {
    // Never destroyed: the sets are handed out by reference from any thread.
    return *new URLAllowedCharacters(URLAllowedCharacters::fromString(kAlphanumerics).adding(punctuation));
}

// Bytes a URL may carry as they are: unreserved, reserved and "%" (checked separately).
bool isURLCharacter(char c) {
    static const URLAllowedCharacters& legal = makeSet("-._~:/?#[]@!$&'()*+,;=%");
    return legal.contains(c);
}

bool isScheme(std::string_view s) {
    if (s.empty() || !isAlpha(s[0])) return false;
    for (char c : s)
        if (!isAlpha(c) && !isDigit(c) && c != '+' && c != '-' && c != '.') return false;
    return true;
}

bool hasOnly(std::string_view s, const URLAllowedCharacters& allowed) {
    for (char c : s)
        if (!allowed.contains(c) && c != '%') return false;
    return true;
}

} // namespace

const URLAllowedCharacters& URLAllowedCharacters::urlUserAllowed() {
    static const URLAllowedCharacters& set = makeSet("!$&'()*+,-.;=_~");
    return set;
}
const URLAllowedCharacters& URLAllowedCharacters::urlPasswordAllowed() {
    static const URLAllowedCharacters& set = makeSet("!$&'()*+,-.;=_~");
    return set;
}
const URLAllowedCharacters& URLAllowedCharacters::urlHostAllowed() {
    static const URLAllowedCharacters& set = makeSet("!$&'()*+,-.:;=[]_~");
    return set;
}
const URLAllowedCharacters& URLAllowedCharacters::urlPathAllowed() {
    static const URLAllowedCharacters& set = makeSet("!$&'()*+,-./:=@_~");
    return set;
}
const URLAllowedCharacters& URLAllowedCharacters::urlQueryAllowed() {
    static const URLAllowedCharacters& set = makeSet("!$&'()*+,-./:;=?@_~");
    return set;
}
const URLAllowedCharacters& URLAllowedCharacters::urlFragmentAllowed() {
    static const URLAllowedCharacters& set = makeSet("!$&'()*+,-./:;=?@_~");
    return set;
}
const URLAllowedCharacters& URLAllowedCharacters::alphanumerics() {
    static const URLAllowedCharacters& set = makeSet("");
    return set;
}
const URLAllowedCharacters& URLAllowedCharacters::unreserved() {
    static const URLAllowedCharacters& set = makeSet("-._~");
    return set;
}

URLAllowedCharacters URLAllowedCharacters::fromString(std::string_view characters) {
    return URLAllowedCharacters().adding(characters);
}

URLAllowedCharacters URLAllowedCharacters::adding(std::string_view characters) const {
    URLAllowedCharacters result = *this;
    for (char c : characters)
        if (static_cast<unsigned char>(c) < 128) result.bits_.set(static_cast<unsigned char>(c));
    return result;
}

URLAllowedCharacters URLAllowedCharacters::removing(std::string_view characters) const {
    URLAllowedCharacters result = *this;
    for (char c : characters)
        if (static_cast<unsigned char>(c) < 128) result.bits_.reset(static_cast<unsigned char>(c));
    return result;
}

namespace {

std::string percentEncodeBytes(std::string_view text, const URLAllowedCharacters& allowed) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (allowed.contains(c)) {
            out.push_back(c);
        } else {
            auto u = static_cast<unsigned char>(c);
            out.push_back('%');
            out.push_back(hex[u >> 4]);
            out.push_back(hex[u & 15]);
        }
    }
    return out;
}

} // namespace

std::optional<std::string> addingPercentEncoding(std::string_view text, const URLAllowedCharacters& allowed) {
    if (!text::isValidUTF8(text)) return std::nullopt;
    return percentEncodeBytes(text, allowed);
}

std::optional<std::string> removingPercentEncoding(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out.push_back(text[i]);
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        int hi = hexValue(text[i + 1]), lo = hexValue(text[i + 2]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
    }
    if (!text::isValidUTF8(out)) return std::nullopt;
    return out;
}

std::vector<URLQueryItem> URLQueryItem::parse(std::string_view query) {
    std::vector<URLQueryItem> items;
    auto decode = [](std::string_view s) { return removingPercentEncoding(s).value_or(std::string(s)); };
    size_t start = 0;
    while (start <= query.size()) {
        size_t end = query.find('&', start);
        if (end == std::string_view::npos) end = query.size();
        std::string_view piece = query.substr(start, end - start);
        size_t equals = piece.find('=');
        if (equals == std::string_view::npos)
            items.push_back({decode(piece), std::nullopt});
        else
            items.push_back({decode(piece.substr(0, equals)), decode(piece.substr(equals + 1))});
        start = end + 1;
    }
    return items;
}

std::string URLQueryItem::compose(const std::vector<URLQueryItem>& items) {
    static const URLAllowedCharacters& allowed =
        *new URLAllowedCharacters(URLAllowedCharacters::urlQueryAllowed().removing("&=+"));
    // Bytes of names and values that are not UTF-8 are still escaped one by one, so the query
    // stays legal URL text.
    auto encode = [](const std::string& s) { return percentEncodeBytes(s, allowed); };
    std::string out;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i) out.push_back('&');
        out += encode(items[i].name);
        if (items[i].value) out.append("=").append(encode(*items[i].value));
    }
    return out;
}

std::optional<URL> URL::string(std::string_view text) {
    if (text.empty()) return std::nullopt;
    for (size_t i = 0; i < text.size(); ++i) {
        if (!isURLCharacter(text[i])) return std::nullopt;
        if (text[i] == '%' &&
            (i + 2 >= text.size() || hexValue(text[i + 1]) < 0 || hexValue(text[i + 2]) < 0))
            return std::nullopt;
    }
    URL url;
    url.text_ = std::string(text);
    std::string_view rest = text;

    size_t hash = rest.find('#');
    if (hash != std::string_view::npos) {
        std::string_view fragment = rest.substr(hash + 1);
        if (fragment.find_first_of("#[]") != std::string_view::npos) return std::nullopt;
        url.fragment_ = std::string(fragment);
        rest = rest.substr(0, hash);
    }
    size_t question = rest.find('?');
    if (question != std::string_view::npos) {
        std::string_view query = rest.substr(question + 1);
        if (query.find_first_of("[]") != std::string_view::npos) return std::nullopt;
        url.query_ = std::string(query);
        rest = rest.substr(0, question);
    }
    // A scheme is a leading run of scheme characters ended by ":" before any "/"; anything else
    // is a relative reference.
    size_t colon = rest.find(':');
    if (colon != std::string_view::npos && rest.substr(0, colon).find('/') == std::string_view::npos &&
        isScheme(rest.substr(0, colon))) {
        url.scheme_ = std::string(rest.substr(0, colon));
        rest = rest.substr(colon + 1);
    }
    if (rest.substr(0, 2) == "//") {
        size_t slash = rest.find('/', 2);
        if (slash == std::string_view::npos) slash = rest.size();
        if (!url.parseAuthority(rest.substr(2, slash - 2))) return std::nullopt;
        rest = rest.substr(slash);
    }
    if (rest.find_first_of("[]") != std::string_view::npos) return std::nullopt;
    url.path_ = std::string(rest);
    return url;
}

bool URL::parseAuthority(std::string_view authority) {
    authority_ = std::string(authority);
    size_t at = authority.rfind('@');
    if (at != std::string_view::npos) {
        std::string_view userinfo = authority.substr(0, at);
        size_t colon = userinfo.find(':');
        std::string_view user = userinfo.substr(0, colon);
        if (!hasOnly(user, URLAllowedCharacters::urlUserAllowed())) return false;
        user_ = std::string(user);
        if (colon != std::string_view::npos) {
            std::string_view password = userinfo.substr(colon + 1);
            if (!hasOnly(password, URLAllowedCharacters::urlPasswordAllowed().adding(":"))) return false;
            password_ = std::string(password);
        }
        authority = authority.substr(at + 1);
    }
    std::string_view portText;
    bool hasPort = false;
    if (!authority.empty() && authority[0] == '[') {
        size_t close = authority.find(']');
        if (close == std::string_view::npos || close == 1) return false;
        std::string_view address = authority.substr(1, close - 1);
        for (char c : address)
            if (hexValue(c) < 0 && c != ':' && c != '.') return false;
        if (address.find(':') == std::string_view::npos) return false;
        host_ = std::string(address);
        std::string_view after = authority.substr(close + 1);
        if (!after.empty() && after[0] != ':') return false;
        hasPort = !after.empty();
        if (hasPort) portText = after.substr(1);
    } else {
        size_t colon = authority.find(':');
        std::string_view host = authority.substr(0, colon);
        static const URLAllowedCharacters& hostCharacters =
            *new URLAllowedCharacters(URLAllowedCharacters::urlHostAllowed().removing(":[]"));
        if (!hasOnly(host, hostCharacters)) return false;
        if (!host.empty()) host_ = std::string(host);
        hasPort = colon != std::string_view::npos;
        if (hasPort) portText = authority.substr(colon + 1);
    }
    if (hasPort && !portText.empty()) {
        // A port is a TCP/UDP port number; anything else is not a usable URL.
        if (portText.size() > 5) return false;
        int port = 0;
        for (char c : portText) {
            if (!isDigit(c)) return false;
            port = port * 10 + (c - '0');
        }
        if (port > 65535) return false;
        port_ = port;
    }
    return true;
}

std::optional<std::string> URL::decoded(const std::optional<std::string>& raw) {
    if (!raw) return std::nullopt;
    return removingPercentEncoding(*raw).value_or(*raw);
}

std::string URL::path() const {
    return removingPercentEncoding(path_).value_or(path_);
}

std::vector<URLQueryItem> URL::queryItems() const {
    if (!query_) return {};
    return URLQueryItem::parse(*query_);
}

bool URL::sameOrigin(const URL& other) const {
    auto lower = [](std::string text) {
        for (char& c : text)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    };
    auto port = [&](const URL& url) -> std::optional<int> {
        if (url.port_) return url.port_;
        const std::string scheme = lower(*url.scheme_);
        if (scheme == "http") return 80;
        if (scheme == "https") return 443;
        return std::nullopt;
    };
    const std::optional<std::string> host = this->host(), otherHost = other.host();
    if (!scheme_ || !other.scheme_ || !host || !otherHost) return false;
    return lower(*scheme_) == lower(*other.scheme_) && lower(*host) == lower(*otherHost) &&
           port(*this) == port(other);
}

URL URL::settingQueryItems(const std::vector<URLQueryItem>& items) const {
    URL copy = *this;
    if (items.empty())
        copy.query_.reset();
    else
        copy.query_ = URLQueryItem::compose(items);
    copy.recompose();
    return copy;
}

URL URL::appendingPathComponent(std::string_view component) const {
    URL copy = *this;
    std::string encoded = percentEncodeBytes(component, URLAllowedCharacters::urlPathAllowed());
    if (copy.path_.empty() || copy.path_.back() != '/') {
        // A path with an authority must start with "/"; a relative empty path gains none.
        if (!copy.path_.empty() || copy.authority_) copy.path_.push_back('/');
    }
    if (!encoded.empty() && encoded.front() == '/' && !copy.path_.empty() && copy.path_.back() == '/')
        encoded.erase(0, 1);
    copy.path_ += encoded;
    copy.recompose();
    return copy;
}

void URL::recompose() {
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about "literal" + string here.
    std::string out;
    if (scheme_) out.append(*scheme_).append(":");
    if (authority_) out.append("//").append(*authority_);
    out.append(path_);
    if (query_) out.append("?").append(*query_);
    if (fragment_) out.append("#").append(*fragment_);
    text_ = std::move(out);
}

} // namespace plat
