// The shape of a method read from its type encoding: the result type and the argument types (the
// receiver and the selector first). None for an encoding that cannot be read.
#pragma once

#include "platform/runtime/TypeEncoding.h"

#include <optional>
#include <string_view>
#include <vector>

namespace plat::rt {

class MethodSignature {
public:
    static std::optional<MethodSignature> signatureWithObjCTypes(std::string_view types);

    // Arguments including the receiver and the selector.
    size_t numberOfArguments() const { return types_.size() - 1; }
    // Index 0 is the receiver, 1 the selector.
    const TypeInfo& argumentType(size_t index) const { return types_.at(index + 1); }
    const TypeInfo& methodReturnType() const { return types_.front(); }

private:
    explicit MethodSignature(std::vector<TypeInfo> types) : types_(std::move(types)) {}
    std::vector<TypeInfo> types_;
};

} // namespace plat::rt
