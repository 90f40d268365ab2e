#include "platform/runtime/MethodSignature.h"

namespace plat::rt {

std::optional<MethodSignature> MethodSignature::signatureWithObjCTypes(std::string_view types) {
    std::optional<std::vector<TypeInfo>> parsed = methodTypesFromEncoding(types);
    if (!parsed) return std::nullopt;
    return MethodSignature(std::move(*parsed));
}

} // namespace plat::rt
