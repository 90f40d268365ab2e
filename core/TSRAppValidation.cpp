// The app-id rules of TSRApp: "<version>:<project number>:ios:<hexadecimal fingerprint>".
#include "core/TSRApp.h"

#include "core/TSRLogger.h"

#include <cctype>
#include <string_view>
#include <vector>

namespace {

constexpr const char* kKnownAppIDVersion = "1";
// The desktop application uses the same platform word as the mobile one.
constexpr const char* kAppIDPlatform = "ios";

// Reads an app id from the front; like the platform's scanner with no characters skipped.
class Scanner {
public:
    explicit Scanner(std::string_view text) : text_(text) {}

    bool atEnd() const { return position_ >= text_.size(); }
    std::string_view rest() const { return text_.substr(position_); }

    // A run of decimal digits.
    bool scanDigits(std::string* digits) {
        size_t end = position_;
        while (end < text_.size() && std::isdigit(static_cast<unsigned char>(text_[end])))
            ++end;
        if (end == position_) return false;
        if (digits) *digits = std::string(text_.substr(position_, end - position_));
        position_ = end;
        return true;
    }
    bool scanString(std::string_view expected) {
        if (rest().substr(0, expected.size()) != expected) return false;
        position_ += expected.size();
        return true;
    }
    // A decimal integer with an optional sign.
    bool scanInteger() {
        const size_t start = position_;
        if (!atEnd() && (text_[position_] == '+' || text_[position_] == '-')) ++position_;
        if (scanDigits(nullptr)) return true;
        position_ = start;
        return false;
    }
    // A hexadecimal number with an optional "0x" prefix.
    bool scanHexInteger() {
        const size_t start = position_;
        if (rest().size() > 2 && rest()[0] == '0' && (rest()[1] == 'x' || rest()[1] == 'X') &&
            std::isxdigit(static_cast<unsigned char>(rest()[2])))
            position_ += 2;
        size_t end = position_;
        while (end < text_.size() && std::isxdigit(static_cast<unsigned char>(text_[end])))
            ++end;
        if (end == position_) {
            position_ = start;
            return false;
        }
        position_ = end;
        return true;
    }
    // The text up to `delimiter` (or the end); false when that is empty.
    bool scanUpTo(char delimiter, std::string* scanned) {
        const size_t end = std::min(text_.find(delimiter, position_), text_.size());
        if (end == position_) return false;
        *scanned = std::string(text_.substr(position_, end - position_));
        position_ = end;
        return true;
    }

private:
    std::string_view text_;
    size_t position_ = 0;
};

std::vector<std::string_view> split(std::string_view text, char delimiter) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (true) {
        const size_t end = text.find(delimiter, start);
        parts.push_back(
            text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

} // namespace

bool TSRApp::validateAppID(const std::optional<std::string>& appID) {
    if (!appID || appID->empty()) return false;
    Scanner scanner(*appID);
    std::string version;
    if (!scanner.scanDigits(&version)) return false;
    if (!scanner.scanString(":")) return false;
    if (version != kKnownAppIDVersion) {
        TSRLogInfo(kTSRLoggerCore, "I-COR000010", "Unknown TESSERA_APP_ID version: %@", version);
        return true;
    }
    return validateAppIDFormat(*appID, version) && validateBundleIDHashWithinAppID(*appID, version);
}

bool TSRApp::validateAppIDFormat(const std::string& appID, const std::string& version) {
    if (appID.empty() || version.empty()) return false;
    Scanner scanner(appID);
    std::string platform;
    return scanner.scanString(version) && scanner.scanString(":") && scanner.scanInteger() &&
           scanner.scanString(":") && scanner.scanUpTo(':', &platform) && platform == kAppIDPlatform &&
           scanner.scanString(":") && scanner.scanHexInteger() && scanner.atEnd();
}

bool TSRApp::validateBundleIDHashWithinAppID(const std::string& appID, const std::string& version) {
    const std::vector<std::string_view> parts = split(appID, ':');
    if (parts.size() != 4) return false;
    const std::string_view fingerprint = parts[3];
    if (fingerprint.empty()) return false;
    Scanner scanner(fingerprint);
    if (!scanner.scanHexInteger()) return false;
    return version == kKnownAppIDVersion;
}
