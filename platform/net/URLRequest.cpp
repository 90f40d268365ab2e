#include "platform/net/URLRequest.h"

#include <strings.h>

namespace plat {

namespace {
bool sameName(const std::string& a, const std::string& b) {
    return strcasecmp(a.c_str(), b.c_str()) == 0;
}
} // namespace

std::optional<std::string> headerValue(const HTTPHeaderFields& fields, const std::string& name) {
    for (const auto& [k, v] : fields)
        if (sameName(k, name)) return v;
    return std::nullopt;
}

void URLRequest::setAllHTTPHeaderFields(HTTPHeaderFields fields) {
    headers_.clear();
    for (auto& [k, v] : fields)
        setValue(v, k);
}

void URLRequest::setValue(std::optional<std::string> value, const std::string& field) {
    for (auto it = headers_.begin(); it != headers_.end(); ++it) {
        if (sameName(it->first, field)) {
            if (value)
                *it = {field, std::move(*value)};
            else
                headers_.erase(it);
            return;
        }
    }
    if (value) headers_.emplace_back(field, std::move(*value));
}

void URLRequest::addValue(const std::string& value, const std::string& field) {
    for (auto& [k, v] : headers_) {
        if (sameName(k, field)) {
            v += ", " + value;
            return;
        }
    }
    headers_.emplace_back(field, value);
}

std::string HTTPURLResponse::description() const {
    std::string out =
        "<HTTPURLResponse> { URL: " + url + " } { Status Code: " + std::to_string(statusCode) + ", Headers {";
    for (const auto& [k, v] : headerFields)
        out += "\n    \"" + k + "\" = \"" + v + "\";";
    return out + (headerFields.empty() ? "} }" : "\n} }");
}

} // namespace plat
