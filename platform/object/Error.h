// An error as the system reports it: a domain, an integer code and a user-info dictionary.
#pragma once

#include "platform/object/Object.h"

#include <string>

namespace plat {

// The user-info key under which an error carries its human-readable message.
inline constexpr const char* kLocalizedDescriptionKey = "NSLocalizedDescription";
// The user-info key for an underlying error's description, when one is attached.
inline constexpr const char* kUnderlyingErrorKey = "NSUnderlyingError";

struct Error {
    std::string domain;
    int64_t code = 0;
    Object::Dict userInfo;

    Error() = default;
    Error(std::string domain, int64_t code, Object::Dict userInfo = {})
        : domain(std::move(domain)), code(code), userInfo(std::move(userInfo)) {}
    // An error whose localized description is `message`.
    static Error withMessage(std::string domain, int64_t code, std::string message);

    // The message under kLocalizedDescriptionKey, or the generic sentence
    // "The operation couldn’t be completed. (<domain> error <code>.)".
    std::string localizedDescription() const;
    // "Error Domain=<domain> Code=<code> "<localized description>"", for log lines and test failures.
    std::string description() const;

    bool operator==(const Error& o) const { return domain == o.domain && code == o.code; }
};

} // namespace plat
