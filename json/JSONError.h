// The error cases of the JSON value layer. Lookups record them in the values they return; parsing,
// merging and raw byte output throw them (or the parser's own error) as a JSONException.
#pragma once

#include "platform/object/Error.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>

// The raw value of each case is also its error code.
enum class JSONError : int {
    unsupportedType = 999,
    indexOutOfBounds = 900,
    elementTooDeep = 902,
    wrongType = 901,
    notExist = 500,
    invalidJSON = 490,
};

// The domain every JSONError reports: "io.velmora.json".
const char* JSONErrorDomain();
// The case for one of the six codes; none for any other integer.
std::optional<JSONError> JSONErrorFromRawValue(int64_t rawValue);
inline int JSONErrorCode(JSONError error) {
    return static_cast<int>(error);
}
// The message of the case (what the platform shows as its localized description).
const char* JSONErrorMessage(JSONError error);
// The user information of the case: the message under plat::kLocalizedDescriptionKey.
plat::Object::Dict JSONErrorUserInfo(JSONError error);
// The case as the platform's error: domain, code and user information.
plat::Error toError(JSONError error);

// What the JSON value layer throws: either one of its own cases or the platform parser's error,
// carried unchanged.
class JSONException : public std::exception {
public:
    explicit JSONException(JSONError error);
    explicit JSONException(plat::Error error);

    const plat::Error& error() const { return error_; }
    // The JSONError case when the error is one of this layer's, otherwise none.
    std::optional<JSONError> jsonError() const;
    const char* what() const noexcept override { return what_.c_str(); }

private:
    plat::Error error_;
    std::string what_;
};

// Hashing uses the raw value.
template <> struct std::hash<JSONError> {
    size_t operator()(JSONError e) const noexcept { return std::hash<int>()(static_cast<int>(e)); }
};
