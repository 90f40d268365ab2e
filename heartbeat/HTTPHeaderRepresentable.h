// Something that can stand as the value of an HTTP header.
#pragma once

#include <string>

namespace heartbeat {

class HTTPHeaderRepresentable {
public:
    virtual ~HTTPHeaderRepresentable() = default;
    virtual std::string headerValue() const = 0;
};

} // namespace heartbeat
