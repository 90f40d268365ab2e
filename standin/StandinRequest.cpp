#include "standin/StandinRequest.h"

#include <strings.h>

namespace standin {

std::string StandinRequest::header(const std::string& name) const {
    for (const auto& [key, value] : headers)
        if (strcasecmp(key.c_str(), name.c_str()) == 0) return value;
    return {};
}

bool StandinRequest::hasHeader(const std::string& name) const {
    for (const auto& entry : headers)
        if (strcasecmp(entry.first.c_str(), name.c_str()) == 0) return true;
    return false;
}

std::string StandinRequest::param(const std::string& name) const {
    auto it = params.find(name);
    return it == params.end() ? std::string() : it->second;
}

std::optional<std::string> StandinRequest::field(const std::string& name) const {
    if (!form) return std::nullopt;
    for (const auto& [key, value] : *form)
        if (key == name) return value;
    return std::nullopt;
}

} // namespace standin
