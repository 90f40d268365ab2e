// The typed front's own errors: the library's timeout and validation failure as an enumeration
// that converts to and from the plat::Error the core promise carries. Work blocks of the typed
// front report failure by throwing a plat::Error or a PromiseError.
#pragma once

#include "promises/TPRPromiseError.h"

#include <optional>
#include <string>

namespace promises {

enum class PromiseError {
    timedOut = TPRPromiseErrorCodeTimedOut,
    validationFailure = TPRPromiseErrorCodeValidationFailure
};

inline const char* errorDomain(PromiseError) {
    return TPRPromiseErrorDomain;
}
inline int64_t errorCode(PromiseError e) {
    return static_cast<int64_t>(e);
}
// The error as the core carries it: the library's domain, the case's code, no user information.
inline plat::Error asError(PromiseError e) {
    return plat::Error(TPRPromiseErrorDomain, errorCode(e));
}
// The case for a library error of code 1 or 2; none for every other error.
std::optional<PromiseError> promiseError(const plat::Error& error);
// "timedOut" or "validationFailure".
const char* describe(PromiseError e);

inline bool operator==(const plat::Error& error, PromiseError e) {
    return promiseError(error) == e;
}

// Two errors are the same when domain, code and user information agree (plat::Error's own ==
// looks at domain and code only).
inline bool sameError(const plat::Error& a, const plat::Error& b) {
    return a.domain == b.domain && a.code == b.code && a.userInfo == b.userInfo;
}

// The description of an error as the typed front reports it: the case name for library errors.
std::string describeError(const plat::Error& error);

} // namespace promises
