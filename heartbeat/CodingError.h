// The error of the heartbeat records' coded forms: a missing key, a value of the wrong kind or a
// value outside what the record allows. Decoding never defaults a field; it throws this instead.
#pragma once

#include <stdexcept>
#include <string>

namespace heartbeat {

class CodingError : public std::runtime_error {
public:
    enum class Kind { keyNotFound, typeMismatch, dataCorrupted, invalidValue };
    CodingError(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

} // namespace heartbeat
