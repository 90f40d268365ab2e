#include "installations/TSRInstallationsLogRedaction.h"

#include "platform/foundation/JSONSerialization.h"

#include <strings.h>

namespace {

constexpr const char* kRedacted = "<redacted>";
constexpr size_t kMaxLoggedBody = 512;

bool isSecretHeader(const std::string& name) {
    for (const char* secret : {"X-Tessera-Api-Key", "Authorization", "x-tessera-ins-ios-iid-migration-auth"})
        if (strcasecmp(name.c_str(), secret) == 0) return true;
    return false;
}

plat::Object redacted(const plat::Object& value) {
    if (value.isDict()) {
        plat::Object::Dict copy;
        for (const auto& [key, field] : value.dict())
            copy[key] = key == "refreshToken" || key == "token" ? plat::Object(kRedacted) : redacted(field);
        return plat::Object(std::move(copy));
    }
    if (value.isArray()) {
        plat::Object::Array copy;
        for (const auto& element : value.array())
            copy.push_back(redacted(element));
        return plat::Object(std::move(copy));
    }
    return value;
}

// At most kMaxLoggedBody bytes of valid UTF-8 text, cut at a character boundary.
std::string shortened(const std::string& text) {
    if (text.size() <= kMaxLoggedBody) return text;
    size_t cut = kMaxLoggedBody;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    return text.substr(0, cut) + "... (" + std::to_string(text.size()) + " bytes)";
}

} // namespace

std::string TSRInstallationsRedactedHeaders(const plat::HTTPHeaderFields& fields) {
    std::string text = "{";
    for (const auto& [name, value] : fields) {
        if (text.size() > 1) text += ", ";
        text += name + ": " + (isSecretHeader(name) ? std::string(kRedacted) : value);
    }
    return text + "}";
}

std::string TSRInstallationsRedactedBody(const plat::Data& body) {
    const std::string text = plat::toString(body);
    const plat::Object json = plat::JSONSerialization::jsonObject(text);
    if (json.isDict() || json.isArray()) {
        if (auto written = plat::JSONSerialization::data(redacted(json))) return shortened(*written);
    }
    // A damaged reply may still hold secrets that cannot be picked out: only its size is shown.
    return "<" + std::to_string(body.size()) + " bytes, not a JSON object>";
}
