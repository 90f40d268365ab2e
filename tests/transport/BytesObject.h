// A payload that renders fixed bytes (none when made without), for tests, the crash child and the
// storage benchmark.
#pragma once

#include "transport/TTREventDataObject.h"

#include <optional>

namespace transporttest {

class BytesObject : public TTREventDataObject {
public:
    explicit BytesObject(std::optional<plat::Data> bytes) : bytes_(std::move(bytes)) {}
    std::optional<plat::Data> transportBytes() const override { return bytes_; }

private:
    std::optional<plat::Data> bytes_;
};

} // namespace transporttest
