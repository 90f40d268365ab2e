// Where a heartbeat bundle's bytes live, and the error its back ends report.
#pragma once

#include "platform/object/Object.h"

#include <optional>
#include <stdexcept>

namespace heartbeat {

class StorageError : public std::runtime_error {
public:
    enum Code { readError, writeError };
    explicit StorageError(Code code)
        : std::runtime_error(code == readError ? "StorageError.readError" : "StorageError.writeError"),
          code_(code) {}
    Code code() const { return code_; }
    bool operator==(const StorageError& o) const { return code_ == o.code_; }

private:
    Code code_;
};

// A back end: the whole stored byte string. Both operations throw StorageError.
class Storage {
public:
    virtual ~Storage() = default;
    virtual plat::Data read() = 0;
    // None stores the empty byte string, which stands for "no bundle".
    virtual void write(const std::optional<plat::Data>& data) = 0;
};

} // namespace heartbeat
