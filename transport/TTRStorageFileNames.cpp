#include "transport/TTRStorageFileNames.h"

#include "transport/TTRConsoleLogger.h"

#include <charconv>
#include <cmath>
#include <vector>

namespace {

std::vector<std::string_view> splitAtDashes(std::string_view text) {
    std::vector<std::string_view> parts;
    size_t at = 0;
    for (;;) {
        size_t dash = text.find('-', at);
        parts.push_back(text.substr(at, dash == std::string_view::npos ? std::string_view::npos : dash - at));
        if (dash == std::string_view::npos) return parts;
        at = dash + 1;
    }
}

// A plain decimal integer. No sign can occur: a "-" separates the parts.
std::optional<int64_t> decimal(std::string_view text) {
    int64_t value = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || ptr != text.data() + text.size()) return std::nullopt;
    return value;
}

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return c - 'a' + 10;
}

std::string joined(const std::vector<std::string_view>& parts) {
    std::string out;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i) out += ", ";
        out.append(parts[i]);
    }
    return out;
}

} // namespace

uint64_t TTRWholeSecondsSince1970(plat::Date date) {
    double seconds = date.secondsSince1970;
    if (!(seconds > 0)) return 0;
    if (seconds >= 18446744073709551615.0) return UINT64_MAX;
    return static_cast<uint64_t>(std::floor(seconds));
}

std::string TTRPercentEncodeMappingID(std::string_view mappingID) {
    static const char* kHex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : mappingID) {
        bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
        if (keep) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        }
    }
    return out;
}

std::optional<std::string> TTRPercentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out.push_back(text[i]);
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        if (!isHexDigit(text[i + 1]) || !isHexDigit(text[i + 2])) return std::nullopt;
        out.push_back(static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
        i += 2;
    }
    return out;
}

std::string TTREventFileName(const std::string& eventID, int64_t qosTier, plat::Date expirationDate,
                             const std::string& mappingID) {
    return eventID + "-" + std::to_string(qosTier) + "-" +
           std::to_string(TTRWholeSecondsSince1970(expirationDate)) + "-" +
           TTRPercentEncodeMappingID(mappingID);
}

std::string TTRBatchFolderName(int64_t target, int64_t batchID, plat::Date expirationDate) {
    return std::to_string(target) + "-" + std::to_string(batchID) + "-" +
           std::to_string(TTRWholeSecondsSince1970(expirationDate));
}

std::optional<TTREventFileComponents> TTREventComponentsFromFilename(std::string_view fileName) {
    std::vector<std::string_view> parts = splitAtDashes(fileName);
    if (parts.size() < 4) {
        TTRLogDebug("The event filename could not be split: %@", std::string(fileName));
        return std::nullopt;
    }
    std::optional<int64_t> tier = decimal(parts[1]);
    std::optional<int64_t> expiration = decimal(parts[2]);
    std::string mappingID(parts[3]);
    for (size_t i = 4; i < parts.size(); ++i) {
        mappingID += "-";
        mappingID.append(parts[i]);
    }
    if (parts[0].empty() || !tier || !expiration || mappingID.empty()) {
        TTRLogDebug("There was an error parsing the event filename components: %@", joined(parts));
        return std::nullopt;
    }
    return TTREventFileComponents{std::string(parts[0]), *tier, plat::Date{static_cast<double>(*expiration)},
                                  std::move(mappingID)};
}

std::optional<TTRBatchComponents> TTRBatchComponentsFromFilename(std::string_view fileName) {
    std::vector<std::string_view> parts = splitAtDashes(fileName);
    if (parts.size() != 3) {
        TTRLogDebug("The batch filename could not be split: %@", std::string(fileName));
        return std::nullopt;
    }
    std::optional<int64_t> target = decimal(parts[0]);
    std::optional<int64_t> batchID = decimal(parts[1]);
    std::optional<int64_t> expiration = decimal(parts[2]);
    if (!target || !batchID || !expiration) {
        TTRLogDebug("There was an error parsing the batch filename components: %@", joined(parts));
        return std::nullopt;
    }
    return TTRBatchComponents{*target, *batchID, plat::Date{static_cast<double>(*expiration)}};
}
