#include "sessions/CacheKey.h"

#include "platform/foundation/JSONSerialization.h"

namespace {

std::string jsonFragment(const plat::Object& value) {
    return plat::JSONSerialization::data(value, plat::JSONSerialization::FragmentsAllowedWriting)
        .value_or("null");
}

} // namespace

std::string CacheKey::encode() const {
    // Written by hand so the keys keep their order; the values go through the JSON writer.
    return "{\"createdAt\":" + jsonFragment(createdAt.timeIntervalSinceReferenceDate()) +
           ",\"tesseraAppID\":" + jsonFragment(tesseraAppID) + ",\"appVersion\":" + jsonFragment(appVersion) +
           "}";
}

std::variant<CacheKey, std::string> CacheKey::decode(const plat::Data& bytes) {
    plat::Error error;
    plat::Object json = plat::JSONSerialization::jsonObject(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), 0, &error);
    if (json.isAbsent()) return "the data is not valid JSON: " + error.localizedDescription();
    if (!json.isDict())
        return std::string("expected a dictionary, found ") + plat::Object::kindName(json.kind());
    const plat::Object& createdAt = json["createdAt"];
    const plat::Number* seconds = createdAt.asNumber();
    if (!seconds || seconds->isBool()) return std::string("\"createdAt\" is missing or not a number");
    const std::string* appID = json["tesseraAppID"].asString();
    if (!appID) return std::string("\"tesseraAppID\" is missing or not a string");
    const std::string* appVersion = json["appVersion"].asString();
    if (!appVersion) return std::string("\"appVersion\" is missing or not a string");
    return CacheKey{plat::Date::fromReferenceDate(seconds->doubleValue()), *appID, *appVersion};
}
