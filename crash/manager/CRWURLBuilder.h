// Builds a URL text piece by piece: a base, path components (escaped or not) and query parameters
// whose values are percent-encoded. Query values also escape "&", "=", "+" and "/", so a value
// can never start another parameter or be read as a space. Not thread-safe; one builder per URL.
#pragma once

#include "platform/object/Object.h"

#include <optional>
#include <string>

class CRWURLBuilder {
public:
    // A builder that starts with `base`.
    static CRWURLBuilder URLWithBase(const std::string& base);

    // Appends `component` as it is; an empty one is refused with a logged error.
    void appendComponent(const std::string& component);
    void escapeAndAppendComponent(const std::string& component);
    // Percent-encodes every character outside the query-allowed set minus "&=+/".
    static std::string escapeString(const std::string& text);
    // Appends "?" or "&", the name, "=" and the escaped value; an absent value appends nothing.
    // A value that is not a string contributes its number or its description.
    void appendValue(const plat::Object& value, const std::string& queryParam);

    const std::string& URLString() const { return URLString_; }
    unsigned queryParams() const { return queryParams_; }
    // The text as a URL; none when it does not parse as one.
    std::optional<std::string> URL() const;

private:
    std::string URLString_;
    unsigned queryParams_ = 0;
};
