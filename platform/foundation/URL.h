// URL references as the system builds and reads them: parsing with the platform's strictness (text
// with spaces, non-ASCII or stray characters is refused), component accessors, path appending,
// query items, and percent-encoding against the platform's named allowed-character sets.
#pragma once

#include <bitset>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plat {

// A set of ASCII characters that percent-encoding leaves as they are; every other byte (all
// non-ASCII bytes included) is written as %XX.
class URLAllowedCharacters {
public:
    URLAllowedCharacters() = default;

    // The platform's component sets: ASCII letters and digits plus the punctuation each
    // component may carry unescaped.
    static const URLAllowedCharacters& urlUserAllowed();     // !$&'()*+,-.;=_~
    static const URLAllowedCharacters& urlPasswordAllowed(); // !$&'()*+,-.;=_~
    static const URLAllowedCharacters& urlHostAllowed();     // !$&'()*+,-.:;=[]_~
    static const URLAllowedCharacters& urlPathAllowed();     // !$&'()*+,-./:=@_~
    static const URLAllowedCharacters& urlQueryAllowed();    // !$&'()*+,-./:;=?@_~
    static const URLAllowedCharacters& urlFragmentAllowed(); // !$&'()*+,-./:;=?@_~
    // ASCII letters and digits.
    static const URLAllowedCharacters& alphanumerics();
    // The unreserved characters: ASCII letters, digits and -._~
    static const URLAllowedCharacters& unreserved();

    // The set of the ASCII characters in `characters`; other bytes are ignored.
    static URLAllowedCharacters fromString(std::string_view characters);
    URLAllowedCharacters adding(std::string_view characters) const;
    URLAllowedCharacters removing(std::string_view characters) const;

    bool contains(char c) const {
        auto u = static_cast<unsigned char>(c);
        return u < 128 && bits_.test(u);
    }
    bool operator==(const URLAllowedCharacters&) const = default;

private:
    std::bitset<128> bits_;
};

// Percent-encodes every byte of the UTF-8 text that `allowed` does not contain, with upper-case
// hex digits. None when the text is not valid UTF-8.
std::optional<std::string> addingPercentEncoding(std::string_view text, const URLAllowedCharacters& allowed);

// Decodes %XX sequences. None when a percent sign is not followed by two hex digits or the
// decoded bytes are not valid UTF-8.
std::optional<std::string> removingPercentEncoding(std::string_view text);

// One name=value pair of a query. A pair written without "=" has no value.
struct URLQueryItem {
    std::string name;
    std::optional<std::string> value;

    // Splits a percent-encoded query at "&" and each piece at its first "=", decoding names and
    // values (a piece that does not decode is kept as written). "+" is not read as a space.
    static std::vector<URLQueryItem> parse(std::string_view query);
    // The percent-encoded query text for the items; "&", "=" and "+" inside names and values are
    // escaped so the text parses back to the same items.
    static std::string compose(const std::vector<URLQueryItem>& items);

    bool operator==(const URLQueryItem&) const = default;
};

// An absolute URL or a relative reference, kept as the text it was made from. Immutable; copies
// are independent.
class URL {
public:
    // Parses URL text. None for the empty text and for text holding characters a URL cannot
    // carry unescaped (spaces, quotes, <>\^`{|}, control or non-ASCII bytes), a "%" not followed
    // by two hex digits, a second "#", brackets outside an IPv6 host, or a bad port.
    static std::optional<URL> string(std::string_view text);

    // The text the URL was made from.
    const std::string& absoluteString() const { return text_; }

    const std::optional<std::string>& scheme() const { return scheme_; }
    // User, password and host, percent-decoded; IPv6 hosts without their brackets. None when
    // the URL has no such part (an empty host counts as none).
    std::optional<std::string> user() const { return decoded(user_); }
    std::optional<std::string> password() const { return decoded(password_); }
    std::optional<std::string> host() const { return decoded(host_); }
    std::optional<int> port() const { return port_; }
    // The path, percent-decoded (as written when it does not decode); empty when there is none.
    std::string path() const;
    const std::string& percentEncodedPath() const { return path_; }
    // Query and fragment as written (still percent-encoded), without "?" and "#".
    const std::optional<std::string>& query() const { return query_; }
    const std::optional<std::string>& fragment() const { return fragment_; }

    // The query's items; empty when there is no query.
    std::vector<URLQueryItem> queryItems() const;
    // A copy with the query replaced by the items (or removed when `items` is empty).
    URL settingQueryItems(const std::vector<URLQueryItem>& items) const;

    // A copy with `component` appended to the path after a "/", the component percent-encoded
    // with the path set (its own "/" kept). Query and fragment stay in place.
    URL appendingPathComponent(std::string_view component) const;

    // Whether both name the same server: scheme and host alike but for case, and the same port,
    // an absent one counting as the scheme's default (80 for http, 443 for https). A URL without
    // scheme or host (a relative reference) shares no origin, not even with itself.
    bool sameOrigin(const URL& other) const;

    bool operator==(const URL& other) const { return text_ == other.text_; }

private:
    URL() = default;
    static std::optional<std::string> decoded(const std::optional<std::string>& raw);
    bool parseAuthority(std::string_view authority);
    // Rebuilds text_ from the components after one of them changed.
    void recompose();

    std::string text_;
    std::optional<std::string> scheme_;
    std::optional<std::string> authority_; // raw text between "//" and the path
    std::optional<std::string> user_;
    std::optional<std::string> password_;
    std::optional<std::string> host_;
    std::optional<int> port_;
    std::string path_;
    std::optional<std::string> query_;
    std::optional<std::string> fragment_;
};

} // namespace plat
