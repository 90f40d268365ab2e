#include "platform/object/Error.h"

namespace plat {

Error Error::withMessage(std::string domain, int64_t code, std::string message) {
    return Error(std::move(domain), code,
                 Object::Dict{{kLocalizedDescriptionKey, Object(std::move(message))}});
}

std::string Error::localizedDescription() const {
    auto it = userInfo.find(kLocalizedDescriptionKey);
    if (it != userInfo.end() && it->second.isString()) return it->second.string();
    return "The operation couldn\u2019t be completed. (" + domain + " error " + std::to_string(code) + ".)";
}

std::string Error::description() const {
    return "Error Domain=" + domain + " Code=" + std::to_string(code) + " \"" + localizedDescription() + "\"";
}

} // namespace plat
