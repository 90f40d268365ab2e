// An HTTP request: URL, method, ordered header fields, body and timeout. Header names keep the
// case they were given; setting a field replaces any field of the same name in any case.
#pragma once

#include "platform/object/Object.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace plat {

using HTTPHeaderFields = std::vector<std::pair<std::string, std::string>>;

// Case-insensitive lookup in ordered header fields.
std::optional<std::string> headerValue(const HTTPHeaderFields& fields, const std::string& name);

struct URLRequest {
    enum class CachePolicy { UseProtocolCachePolicy, ReloadIgnoringLocalCacheData };

    explicit URLRequest(std::string url, double timeoutInterval = 60.0,
                        CachePolicy cachePolicy = CachePolicy::UseProtocolCachePolicy)
        : url(std::move(url)), timeoutInterval(timeoutInterval), cachePolicy(cachePolicy) {}

    std::string url;
    std::string httpMethod = "GET";
    std::optional<Data> httpBody;
    // Seconds the request may go without a byte moving, connecting included, for every kind of
    // task; not above 0 takes the session's timeoutIntervalForRequest.
    double timeoutInterval;
    CachePolicy cachePolicy;

    const HTTPHeaderFields& allHTTPHeaderFields() const { return headers_; }
    // Replaces every header field with `fields`, in their order.
    void setAllHTTPHeaderFields(HTTPHeaderFields fields);
    // Sets one field, replacing an existing field of the same name (in place, keeping its
    // position). An empty value is a value: the field goes out empty. No value removes the field.
    void setValue(std::optional<std::string> value, const std::string& field);
    // Appends to an existing field's value with ", ", or adds the field.
    void addValue(const std::string& value, const std::string& field);
    std::optional<std::string> value(const std::string& field) const { return headerValue(headers_, field); }

private:
    HTTPHeaderFields headers_;
};

// The answer to an HTTP request.
struct HTTPURLResponse {
    std::string url;
    int statusCode = 0;
    HTTPHeaderFields headerFields;

    std::optional<std::string> value(const std::string& field) const {
        return headerValue(headerFields, field);
    }
    // "<HTTPURLResponse> { URL: ... } { Status Code: 200, Headers { ... } }"
    std::string description() const;
};

} // namespace plat
