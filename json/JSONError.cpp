#include "json/JSONError.h"

const char* JSONErrorDomain() {
    return "io.velmora.json";
}

std::optional<JSONError> JSONErrorFromRawValue(int64_t rawValue) {
    switch (rawValue) {
    case 999:
        return JSONError::unsupportedType;
    case 900:
        return JSONError::indexOutOfBounds;
    case 902:
        return JSONError::elementTooDeep;
    case 901:
        return JSONError::wrongType;
    case 500:
        return JSONError::notExist;
    case 490:
        return JSONError::invalidJSON;
    default:
        return std::nullopt;
    }
}

const char* JSONErrorMessage(JSONError error) {
    switch (error) {
    case JSONError::unsupportedType:
        return "It is an unsupported type.";
    case JSONError::indexOutOfBounds:
        return "Array Index is out of bounds.";
    case JSONError::elementTooDeep:
        return "Element too deep. Increase maxObjectDepth and make sure there is no reference loop.";
    case JSONError::wrongType:
        return "Couldn't merge, because the JSONs differ in type on top level.";
    case JSONError::notExist:
        return "Dictionary key does not exist.";
    case JSONError::invalidJSON:
        return "JSON is invalid.";
    }
    return "";
}

plat::Object::Dict JSONErrorUserInfo(JSONError error) {
    return plat::Object::Dict{{plat::kLocalizedDescriptionKey, plat::Object(JSONErrorMessage(error))}};
}

plat::Error toError(JSONError error) {
    return plat::Error(JSONErrorDomain(), JSONErrorCode(error), JSONErrorUserInfo(error));
}

JSONException::JSONException(JSONError error) : JSONException(toError(error)) {}

JSONException::JSONException(plat::Error error) : error_(std::move(error)) {
    what_ = error_.domain + " " + std::to_string(error_.code) + ": " + error_.localizedDescription();
}

std::optional<JSONError> JSONException::jsonError() const {
    if (error_.domain != JSONErrorDomain()) return std::nullopt;
    return JSONErrorFromRawValue(error_.code);
}
