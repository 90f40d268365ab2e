// The exception that the app core raises for configuration faults and broken preconditions: a
// name (the raising component's error domain, such as "com.tessera.core") and a reason.
#pragma once

#include <stdexcept>
#include <string>

// The name of every configuration exception of the app core.
inline constexpr const char* kTSRCoreExceptionName = "com.tessera.core";
// The name of the exception for a bad argument, such as a registrant that offers no components.
inline constexpr const char* kTSRInvalidArgumentException = "NSInvalidArgumentException";
// The name of the exception for a failed internal assertion.
inline constexpr const char* kTSRInternalInconsistencyException = "NSInternalInconsistencyException";

class TSRException : public std::runtime_error {
public:
    TSRException(std::string name, std::string reason)
        : std::runtime_error(name + ": " + reason), name_(std::move(name)), reason_(std::move(reason)) {}

    const std::string& name() const noexcept { return name_; }
    const std::string& reason() const noexcept { return reason_; }

private:
    std::string name_;
    std::string reason_;
};
